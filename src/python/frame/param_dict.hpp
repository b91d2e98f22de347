// Parameter dictionaries across the border: a dict of floats in as a ParamMap (out: model_conversions.hpp).
#pragma once

#include <string_view>
#include <unordered_set>
#include <vector>

#include "python/frame/convert.hpp"
#include "volmodel/param_map.hpp"

namespace korvex::py {

// A dict's keys are distinct, but two keys of a str subclass may carry one text: the later one
// wins, as in insert_or_assign. Hashed rather than searched: callers pass many unknown names.
inline ParamMap to_param_map(const NamedFloats& named) {
    const auto& entries = named.entries;
    std::unordered_set<std::string_view> seen;
    seen.reserve(entries.size());
    std::vector<bool> wins(entries.size());
    for (std::size_t i = entries.size(); i-- > 0;) wins[i] = seen.insert(entries[i].first).second;
    ParamMap params;
    params.reserve(seen.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (wins[i]) params.append_absent(entries[i].first, entries[i].second);
    }
    return params;
}

}  // namespace korvex::py
