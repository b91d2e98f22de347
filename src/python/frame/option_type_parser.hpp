// Reading the call/put argument: "c"/"call" and "p"/"put" in any letter case, nothing trimmed.
#pragma once

#include "common/result.hpp"
#include "option_pricing/option_type.hpp"
#include "python/frame/convert.hpp"

namespace korvex::py {

PyResult<OptionType> parse_option_type(const Text& text);

}  // namespace korvex::py
