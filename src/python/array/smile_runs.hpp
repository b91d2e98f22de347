// A smile evaluated over broadcast (ttx, spot, strike) elements: the model's smile formula once
// per run of elements that share ttx and spot (compared bit for bit), so that each element is the
// model's get_vol_single for its own triple, at the cost of get_vol over a list of strikes.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "python/frame/float_column.hpp"

namespace korvex::py {

inline bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

// Model::smile(params, ttx, spot, strikes, out) over elements [begin, end); out[0] is element begin.
template <class Model, class Params>
void smile_over(const Params& params, FloatColumn::Elements ttx, FloatColumn::Elements spot,
                FloatColumn::Elements strikes, std::size_t begin, std::size_t end, double* out) {
    std::size_t i = begin;
    while (i < end) {
        std::size_t j = i + 1;
        if (strikes.step != 0) {
            while (j < end && same_bits(ttx[j], ttx[i]) && same_bits(spot[j], spot[i])) ++j;
        }
        Model::smile(params, ttx[i], spot[i], std::span<const double>(&strikes.data[i * strikes.step], j - i),
                     std::span<double>(out + (i - begin), j - i));
        i = j;
    }
}

}  // namespace korvex::py
