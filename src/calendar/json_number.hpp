// JSON number tokens read as doubles, to the last bit and independently of the C locale.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korvex {

// Length of the JSON number (RFC 8259 grammar) at the start of `text`; 0 when none starts there.
// Maximal munch, so "01" gives 1 ("0") and "1." gives 1.
std::size_t json_number_length(std::string_view text);

// The double nearest to a JSON number token (ties to even). A magnitude below the smallest
// subnormal gives a zero of the token's sign; one above the largest double gives nothing.
std::optional<double> json_number_value(std::string_view token);

// The JSON reader refuses some numbers as too big before handing them over, doubles among them
// ("0e400", a 309-digit integer just below the largest double), even inside values it is only
// skipping. From byte `from` of a JSON text on (which must not lie inside a string), every
// number that may be refused is rewritten as its shortest form, or as "0" when it overflows,
// padded with spaces: positions stay, so values and messages are taken from the original text.
void rewrite_large_json_numbers(std::string& text, std::size_t from);

}  // namespace korvex
