// Numbers in error messages: the shortest decimal that reads back to the same double.
#pragma once

#include <charconv>
#include <string>

namespace korvex {

inline std::string number_text(double value) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc{} ? std::string(buffer, end) : std::string("?");
}

}  // namespace korvex
