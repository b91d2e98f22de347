// Helpers shared by the volatility-model tests.
#pragma once

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

#include "common/utc_instant.hpp"
#include "volmodel/param_map.hpp"

namespace korvex::testing {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr double kInf = std::numeric_limits<double>::infinity();
inline const UtcInstant kExpiry{20000, 8 * 3600, 0};  // 2024-10-04 08:00 UTC

inline ParamMap dict(std::initializer_list<std::pair<std::string_view, double>> entries) {
    ParamMap map;
    for (const auto& [name, value] : entries) map.insert_or_assign(name, value);
    return map;
}

inline bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

inline bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!same_bits(a[i], b[i])) return false;
    }
    return true;
}

// Same names with bit-identical values, in any order.
inline bool same_dict(const ParamMap& a, const ParamMap& b) {
    if (a.size() != b.size()) return false;
    for (const auto& [name, value] : a) {
        if (const auto other = b.find(name); !other || !same_bits(value, *other)) return false;
    }
    return true;
}

struct ArbCase {
    const char* param;
    double value;
    bool expected;
};

}  // namespace korvex::testing
