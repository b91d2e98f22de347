#include "python/frame/call_put_column.hpp"

#include <memory>

#include "python/frame/option_type_parser.hpp"

namespace korvex::py {

bool CallPutColumn::prepare(std::size_t count) {
    if (text_.scalar()) {
        return text_.resolve<OptionType>(parse_option_type, [this](std::size_t, OptionType t) { single_ = t; });
    }
    each_ = std::make_unique_for_overwrite<OptionType[]>(count);
    OptionType* const each = each_.get();
    return text_.resolve<OptionType>(parse_option_type, [each](std::size_t i, OptionType t) { each[i] = t; });
}

}  // namespace korvex::py
