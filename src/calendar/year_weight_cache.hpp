// Total business weight per local calendar year, filled on first use and never cleared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

namespace korvex {

class YearWeightCache {
public:
    // Nearly every lookup asks for the year of the one before: two comparisons, no allocation.
    std::optional<double> find(std::int32_t year) {
        if (has_last_ && year == last_year_) return last_weight_;
        const auto it = weights_.find(year);
        if (it == weights_.end()) return std::nullopt;
        remember(year, it->second);
        return it->second;
    }

    void insert(std::int32_t year, double weight) {
        weights_.insert_or_assign(year, weight);
        remember(year, weight);
    }

    std::size_t size() const { return weights_.size(); }
    bool contains(std::int32_t year) const { return weights_.contains(year); }

private:
    void remember(std::int32_t year, double weight) {
        has_last_ = true;
        last_year_ = year;
        last_weight_ = weight;
    }

    std::map<std::int32_t, double> weights_;
    bool has_last_ = false;
    std::int32_t last_year_ = 0;
    double last_weight_ = 0.0;
};

}  // namespace korvex
