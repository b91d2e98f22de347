// The call_put parameter of the array functions: "call", "c", "put" or "p" in any letter case,
// one for all elements or one per element, each distinct spelling read by the scalar module's
// own parser.
#pragma once

#include "option_pricing/option_type.hpp"
#include "python/frame/option_type_parser.hpp"
#include "python/frame/parsed_column.hpp"

namespace korvex::py {

using CallPutColumn = ParsedColumn<OptionType, &parse_option_type>;
static_assert(Column<CallPutColumn>);

struct CallPutArray : ColumnKind<CallPutColumn> {};

}  // namespace korvex::py
