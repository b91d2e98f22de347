#include "option_pricing/brent.hpp"

#include <charconv>

namespace korvex {
namespace {

// Shortest decimal that reads back to the same double, in positional notation.
std::string shortest_fixed(double value) {
    char buffer[512];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return ec == std::errc{} ? std::string(buffer, end) : std::string("?");
}

}  // namespace

std::string NotBracketed::message() const {
    return "Root not bracketed: f(" + shortest_fixed(a) + ") = " + shortest_fixed(fa) + ", f(" +
           shortest_fixed(b) + ") = " + shortest_fixed(fb);
}

}  // namespace korvex
