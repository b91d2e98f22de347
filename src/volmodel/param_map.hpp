// Parameter and bump dictionaries: a small ordered map from name to double.
// Models have at most a dozen names, so a flat vector with a linear search beats hashing.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvex {

class ParamMap {
public:
    using value_type = std::pair<std::string, double>;
    using const_iterator = std::vector<value_type>::const_iterator;

    // A name already present keeps its position and takes the new value.
    void insert_or_assign(std::string_view name, double value);
    // For a name known to be absent (the caller has made the names distinct): no search.
    void append_absent(std::string_view name, double value) { entries_.emplace_back(std::string(name), value); }
    std::optional<double> find(std::string_view name) const;

    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    void reserve(std::size_t n) { entries_.reserve(n); }

    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }

private:
    std::vector<value_type> entries_;
};

// The dictionary with every increment of `bumps` added to the entry of the same name;
// increments for names the dictionary lacks are dropped.
ParamMap add_increments(ParamMap dict, const ParamMap& bumps);

}  // namespace korvex
