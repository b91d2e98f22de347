#include "python/option_type_parser.hpp"

#include <string>
#include <string_view>

namespace korvex::py {
namespace {

std::optional<OptionType> match(std::string_view lower) {
    if (lower == "c" || lower == "call") return OptionType::call;
    if (lower == "p" || lower == "put") return OptionType::put;
    return std::nullopt;
}

Error unknown(std::string_view lower) {
    std::string message = "Unknown option type: '";
    message.append(lower).append("'. Use 'call'/'c' or 'put'/'p'.");
    return Error{std::move(message)};
}

// The interpreter's full Unicode lower-casing (str.lower()); only the error path needs it.
std::string unicode_lower(PyObject* text) {
    Ref lowered = Ref::steal(PyObject_CallMethod(text, "lower", nullptr));
    Py_ssize_t size = 0;
    const char* utf8 = lowered ? PyUnicode_AsUTF8AndSize(lowered.get(), &size) : nullptr;
    if (!utf8) {
        PyErr_Clear();
        return {};
    }
    return std::string(utf8, static_cast<std::size_t>(size));
}

}  // namespace

Result<OptionType> parse_option_type(const Text& text) {
    // ASCII fast path without allocation: only four short spellings can match.
    char buffer[4];
    const std::string_view raw = text.utf8;
    bool ascii = true;
    for (const char ch : raw) ascii = ascii && static_cast<unsigned char>(ch) < 0x80;
    if (ascii && raw.size() <= sizeof buffer) {
        for (std::size_t i = 0; i < raw.size(); ++i) {
            const char ch = raw[i];
            buffer[i] = (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
        }
        if (auto type = match(std::string_view(buffer, raw.size()))) return *type;
    }
    std::string lower;
    if (ascii) {
        lower.assign(raw);
        for (char& ch : lower) ch = (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
    } else {
        lower = unicode_lower(text.object);
    }
    if (auto type = match(lower)) return *type;
    return std::unexpected(unknown(lower));
}

}  // namespace korvex::py
