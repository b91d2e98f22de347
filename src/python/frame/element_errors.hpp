// Errors about one element of an array argument carry its flat (C-order) index.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "python/frame/python.hpp"

namespace korvex::py {

// "element 3: " + message.
std::string element_message(std::size_t index, std::string_view message);

// The TypeError currently set came from element `index`: its message gains "element i: ",
// keeping its cause. Any other exception is left as it is.
void prefix_element_error(std::size_t index);

}  // namespace korvex::py
