// Globally adaptive Gauss-Kronrod quadrature (7-point Gauss, 15-point Kronrod): the panel with the
// largest error estimate is halved until the estimates add up to the tolerance.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <queue>
#include <span>
#include <vector>

namespace korvex {

struct QuadratureResult {
    double value;
    double error;      // the sum of the panels' |K15 - G7|
    bool converged;    // error <= tolerance before the panel budget ran out
};

struct QuadratureSettings {
    double relative_tolerance;
    std::size_t max_panels;
};

namespace gauss_kronrod {

// Nodes on [-1, 1] (the positive half and zero), from the tabulated 15-point rule.
inline constexpr double kNodes[8] = {
    0.991455371120812639206854697526329, 0.949107912342758524526189684047851,
    0.864864423359769072789712788640926, 0.741531185599394439863864773280788,
    0.586087235467691130294144845693013, 0.405845151377397166906606412076961,
    0.207784955007898467600689403773245, 0.000000000000000000000000000000000};
inline constexpr double kKronrodWeights[8] = {
    0.022935322010529224963732008058970, 0.063092092629978553290700663189204,
    0.104790010322250183839876322541518, 0.140653259715525918745189590510238,
    0.169004726639267902826583426598550, 0.190350578064785409913256402421014,
    0.204432940075298892414161999234649, 0.209482141084727828012999174891714};
// Weights of the Gauss nodes, which are kNodes[1], [3], [5] and [7].
inline constexpr double kGaussWeights[4] = {
    0.129484966168869693270611432679082, 0.279705391489276667901467771423780,
    0.381830050505118944950369775488975, 0.417959183673469387755102040816327};

struct Panel {
    double a, b, value, error;
    bool operator<(const Panel& other) const { return error < other.error; }
};

template <class F>
Panel panel(F& f, double a, double b) {
    const double centre = 0.5 * (a + b), half = 0.5 * (b - a);
    const double f0 = f(centre);
    double kronrod = kKronrodWeights[7] * f0;
    double gauss = kGaussWeights[3] * f0;
    for (int j = 0; j < 7; ++j) {
        const double dx = half * kNodes[j];
        const double sum = f(centre - dx) + f(centre + dx);
        kronrod += kKronrodWeights[j] * sum;
        if (j % 2 == 1) gauss += kGaussWeights[j / 2] * sum;
    }
    return Panel{a, b, kronrod * half, std::fabs((kronrod - gauss) * half)};
}

}  // namespace gauss_kronrod

// The integral of f over the panels between consecutive breakpoints (at least two, increasing).
// A NaN anywhere stops the refinement and is returned.
template <class F>
QuadratureResult integrate(F&& f, std::span<const double> breakpoints, QuadratureSettings settings) {
    std::priority_queue<gauss_kronrod::Panel> panels;
    double value = 0.0, error = 0.0;
    for (std::size_t i = 1; i < breakpoints.size(); ++i) {
        const gauss_kronrod::Panel p = gauss_kronrod::panel(f, breakpoints[i - 1], breakpoints[i]);
        value += p.value;
        error += p.error;
        panels.push(p);
    }
    std::size_t count = panels.size();
    while (!(error <= settings.relative_tolerance * std::fabs(value))) {
        if (std::isnan(value) || std::isnan(error)) return {value, error, false};
        if (count >= settings.max_panels) return {value, error, false};
        const gauss_kronrod::Panel worst = panels.top();
        panels.pop();
        const double middle = 0.5 * (worst.a + worst.b);
        const gauss_kronrod::Panel left = gauss_kronrod::panel(f, worst.a, middle);
        const gauss_kronrod::Panel right = gauss_kronrod::panel(f, middle, worst.b);
        value += left.value + right.value - worst.value;
        error += left.error + right.error - worst.error;
        panels.push(left);
        panels.push(right);
        ++count;
    }
    // The running sums drift by rounding: the converged value is summed afresh.
    double total = 0.0;
    for (; !panels.empty(); panels.pop()) total += panels.top().value;
    return {total, error, true};
}

}  // namespace korvex
