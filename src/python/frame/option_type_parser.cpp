#include "python/frame/option_type_parser.hpp"

#include <string>
#include <string_view>

#include "common/ascii.hpp"
#include "python/frame/cached.hpp"

namespace korvex::py {
namespace {

constinit Cached lower_name{"lower"};

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

// The interpreter's full Unicode lower-casing of UTF-8 text: str.lower of a plain str with that
// text, so that a subclass's own lower() has no say in what the text means. Only non-ASCII text
// needs it. Nothing (with the interpreter's exception set) if lower-casing fails.
std::optional<std::string> unicode_lower(std::string_view utf8) {
    PyObject* const lower = lower_name.get();
    Ref text = lower ? Ref::steal(PyUnicode_FromStringAndSize(utf8.data(), static_cast<Py_ssize_t>(utf8.size()))) : Ref();
    if (!text) return std::nullopt;
    PyObject* args[] = {text.get()};
    Ref lowered = Ref::steal(PyObject_VectorcallMethod(lower, args, 1, nullptr));
    Py_ssize_t size = 0;
    const char* result = lowered ? PyUnicode_AsUTF8AndSize(lowered.get(), &size) : nullptr;
    if (!result) return std::nullopt;
    return std::string(result, static_cast<std::size_t>(size));
}

// The four spellings in any ASCII letter case, read in place. Setting bit 0x20 lower-cases an
// ASCII capital and maps no other byte onto a lower-case letter, so each test is exact.
std::optional<OptionType> match_ascii(std::string_view raw) {
    const auto is = [&](std::size_t i, char letter) {
        return (static_cast<unsigned char>(raw[i]) | 0x20u) == static_cast<unsigned char>(letter);
    };
    switch (raw.size()) {
    case 1:
        if (is(0, 'c')) return OptionType::call;
        if (is(0, 'p')) return OptionType::put;
        break;
    case 3:
        if (is(0, 'p') && is(1, 'u') && is(2, 't')) return OptionType::put;
        break;
    case 4:
        if (is(0, 'c') && is(1, 'a') && is(2, 'l') && is(3, 'l')) return OptionType::call;
        break;
    default:
        break;
    }
    return std::nullopt;
}

}  // namespace

PyResult<OptionType> parse_option_type(const Text& text) {
    const std::string_view raw = text.utf8;
    if (auto type = match_ascii(raw)) return *type;
    // Anything else is refused, unless its full Unicode lower-casing is a spelling; the message
    // shows the lower-cased text.
    bool ascii = true;
    for (const char ch : raw) ascii = ascii && static_cast<unsigned char>(ch) < 0x80;
    std::string lower;
    if (ascii) {
        lower = ascii_lower(raw);
    } else if (auto unicode = unicode_lower(raw)) {
        lower = std::move(*unicode);
    } else {
        return std::unexpected(PythonRaised{});
    }
    if (auto type = match(lower)) return *type;
    return std::unexpected(unknown(lower));
}

}  // namespace korvex::py
