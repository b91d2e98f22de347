// Times to expiry over arrays: business and calendar years between instants, tenor year fractions.
#pragma once

#include <span>

#include "python/frame/python.hpp"

namespace korvex::py {

std::span<PyMethodDef> array_time_functions();

}  // namespace korvex::py
