// The option-type parser against the interpreter's own str.lower(): a text is call or put
// exactly when its lower-casing is one of the four spellings, and otherwise the error shows that
// lower-casing. Runs inside an embedded interpreter, which the parser needs for non-ASCII text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

#include "fuzz_check.hpp"
#include "python/frame/option_type_parser.hpp"

using korvex::OptionType;
using korvex::fuzz::check;
using korvex::py::Ref;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Object memory through malloc, so that the sanitizers see it too.
    setenv("PYTHONMALLOC", "malloc", 1);
    Py_InitializeEx(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Text reaches the parser only as a str's UTF-8, so only valid UTF-8 is of interest.
    Ref text = Ref::steal(PyUnicode_DecodeUTF8(reinterpret_cast<const char*>(data), static_cast<Py_ssize_t>(size),
                                               "strict"));
    if (!text) {
        PyErr_Clear();
        return 0;
    }
    Py_ssize_t length = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), &length);
    check(utf8 != nullptr, "a decoded str has no UTF-8");
    const korvex::py::Text argument{std::string_view(utf8, static_cast<std::size_t>(length))};

    const korvex::py::PyResult<OptionType> parsed = korvex::py::parse_option_type(argument);
    check(!PyErr_Occurred(), "the parser left an exception set");

    Ref lowered = Ref::steal(PyObject_CallMethod(text.get(), "lower", nullptr));
    check(static_cast<bool>(lowered), "str.lower() failed");
    const char* lower_utf8 = PyUnicode_AsUTF8AndSize(lowered.get(), &length);
    check(lower_utf8 != nullptr, "lower-cased str has no UTF-8");
    const std::string lower(lower_utf8, static_cast<std::size_t>(length));

    if (lower == "c" || lower == "call") {
        check(parsed && *parsed == OptionType::call, "a call spelling not read as call", lower);
    } else if (lower == "p" || lower == "put") {
        check(parsed && *parsed == OptionType::put, "a put spelling not read as put", lower);
    } else {
        check(!parsed, "an unknown spelling accepted", lower);
        const auto* error = std::get_if<korvex::Error>(&parsed.error());
        check(error != nullptr, "an unknown spelling reported as the interpreter's failure", lower);
        check(error->message == "Unknown option type: '" + lower + "'. Use 'call'/'c' or 'put'/'p'.",
              "the message does not show the lower-cased text", error->message);
    }
    return 0;
}
