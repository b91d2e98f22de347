// Helpers shared by the sensitivity tests: option chains, and central differences with error bounds derived from the evaluation, not guessed: each estimate
// carries (a) the truncation error, measured by Richardson's comparison with twice the step
// (the error is O(h^2), so |D(h) - D(2h)| is about three times that of D(h)), and (b) the
// rounding error, from a bound `noise` on the absolute error of one evaluation, which the
// difference quotient divides by the step (twice for second derivatives).
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <vector>

#include "option_pricing/option_type.hpp"

namespace korvex::testing {

struct OptionCase {
    OptionType type;
    double F, K, T, sigma, D;
};

// Calls and puts at F = 100 for every combination of the given strikes, times and volatilities.
inline std::vector<OptionCase> chain(std::initializer_list<double> strikes, std::initializer_list<double> ttxs,
                                     std::initializer_list<double> vols, double D) {
    std::vector<OptionCase> cases;
    for (const auto type : {OptionType::call, OptionType::put})
        for (const double K : strikes)
            for (const double T : ttxs)
                for (const double sigma : vols) cases.push_back({type, 100.0, K, T, sigma, D});
    return cases;
}

inline constexpr double kEps = std::numeric_limits<double>::epsilon();
// Steps balancing h^2 truncation against noise / h (first) and noise / h^2 (second derivatives).
inline const double kFirstStep = std::cbrt(kEps);
inline const double kSecondStep = std::sqrt(std::sqrt(kEps));

struct Estimate {
    double value;
    double tolerance;
};

// dg/dx at x, with step h.
template <class G>
Estimate first_difference(G g, double x, double h, double noise) {
    const auto at = [&](double step) { return (g(x + step) - g(x - step)) / (2.0 * step); };
    const double d = at(h);
    return {d, std::abs(d - at(2.0 * h)) + noise / h};
}

// d2g/dx2 at x, with step h.
template <class G>
Estimate second_difference(G g, double x, double h, double noise) {
    const double g0 = g(x);
    const auto at = [&](double step) { return (g(x + step) - 2.0 * g0 + g(x - step)) / (step * step); };
    const double d = at(h);
    return {d, std::abs(d - at(2.0 * h)) + 4.0 * noise / (h * h)};
}

// d2g/dx dy at (x, y), with steps h and k.
template <class G>
Estimate mixed_difference(G g, double x, double y, double h, double k, double noise) {
    const auto at = [&](double a, double b) {
        return (g(x + a, y + b) - g(x + a, y - b) - g(x - a, y + b) + g(x - a, y - b)) / (4.0 * a * b);
    };
    const double d = at(h, k);
    return {d, std::abs(d - at(2.0 * h, 2.0 * k)) + noise / (h * k)};
}

inline bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Relative agreement, with both sides zero counting as agreement.
inline bool within_relative(double a, double b, double rel) {
    return std::abs(a - b) <= rel * std::fmax(std::abs(a), std::abs(b));
}

}  // namespace korvex::testing
