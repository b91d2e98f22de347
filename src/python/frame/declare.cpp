#include "python/frame/declare.hpp"

#include <charconv>

namespace korvex::py {
namespace {

// A float default as Python's repr writes it (1.0, not 1).
std::string float_repr(double value) {
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    std::string text(buffer, end);
    if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
    return text;
}

}  // namespace

std::string text_signature(const char* name, bool with_self, std::span<const char* const> names,
                           std::span<const std::optional<double>> defaults,
                           std::span<const char* const> text_defaults) {
    std::string text = name;
    text += '(';
    if (with_self) text += names.empty() ? "$self" : "$self, ";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i) text += ", ";
        text += names[i];
        if (defaults[i]) {
            text += '=';
            text += float_repr(*defaults[i]);
        } else if (text_defaults[i]) {
            text.append("='").append(text_defaults[i]).append("'");
        }
    }
    text += ")\n--\n\n";
    return text;
}

}  // namespace korvex::py
