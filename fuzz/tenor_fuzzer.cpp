// Tenors: any text gives a year fraction or exactly one of the three errors, and an accepted
// number reads as the C library reads it.
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "calendar/tenor.hpp"
#include "fuzz_check.hpp"

namespace {

using korvex::fuzz::check;
using korvex::fuzz::same;

// Characters of a plain decimal literal; anything else (hex digits past 'e', 'p', 'x', blanks,
// the words inf and nan) the C library reads in ways the tenor grammar does not allow.
bool plain_decimal(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789+-.eE") == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view tenor(reinterpret_cast<const char*>(data), size);
    const korvex::Result<double> result = korvex::tenor_to_ttx(tenor);
    const char unit = tenor.empty() ? '\0' : tenor.back();
    const bool known_unit = unit == 'd' || unit == 'w' || unit == 'm' || unit == 'y';
    if (!known_unit) {
        check(!result, "tenor without a unit accepted", tenor);
        check(result.error().message == "Invalid tenor format: " + std::string(tenor), "wrong unit message",
              result.error().message);
        return 0;
    }
    const std::string number(tenor.substr(0, tenor.size() - 1));
    // strtod stops at a NUL byte; such a number is refused by the grammar anyway.
    char* end = nullptr;
    const double c_value = std::strtod(number.c_str(), &end);
    const bool c_reads_all = !number.empty() && number.find('\0') == std::string::npos &&
                             end == number.c_str() + number.size();
    if (!result) {
        const std::string& message = result.error().message;
        if (number.empty()) {
            check(message == "cannot parse float from empty string", "wrong empty-number message", message);
        } else {
            check(message == "invalid float literal", "wrong malformed-number message", message);
            check(!(c_reads_all && plain_decimal(number)), "plain decimal refused", tenor);
        }
        return 0;
    }
    check(c_reads_all, "number accepted that the C library does not read whole", tenor);
    double expected = c_value;
    if (unit == 'd') expected = c_value / 365.0;
    if (unit == 'w') expected = c_value * 7.0 / 365.0;
    if (unit == 'm') expected = c_value * 30.0 / 365.0;
    check(same(*result, expected), "value differs from the C library's reading", tenor);
    return 0;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::setlocale(LC_NUMERIC, "C");  // strtod's decimal point
    return 0;
}
