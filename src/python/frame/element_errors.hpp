// Errors about one element of an array argument carry its flat (C-order) index.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "python/frame/python.hpp"

namespace korvex::py {

// "element 3: " + message.
std::string element_message(std::size_t index, std::string_view message);

// The exception currently set came from element `index`. A TypeError's message gains
// "element i: " (keeping its cause); any other exception keeps its message and gains the note
// "element i", so the interpreter's own exceptions still pass through as they are.
void mark_element_error(std::size_t index);

}  // namespace korvex::py
