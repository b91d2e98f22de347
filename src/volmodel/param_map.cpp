#include "volmodel/param_map.hpp"

#include <algorithm>

namespace korvex {

void ParamMap::insert_or_assign(std::string_view name, double value) {
    const auto it = std::ranges::find(entries_, name, &value_type::first);
    if (it != entries_.end()) {
        it->second = value;
    } else {
        entries_.emplace_back(std::string(name), value);
    }
}

std::optional<double> ParamMap::find(std::string_view name) const {
    const auto it = std::ranges::find(entries_, name, &value_type::first);
    if (it == entries_.end()) return std::nullopt;
    return it->second;
}

ParamMap add_increments(ParamMap dict, const ParamMap& bumps) {
    for (const auto& [name, increment] : bumps) {
        if (const auto value = dict.find(name)) dict.insert_or_assign(name, *value + increment);
    }
    return dict;
}

}  // namespace korvex
