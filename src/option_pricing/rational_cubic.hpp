// Shape-preserving rational cubic interpolation (Delbourgo and Gregory), for starting values.
#pragma once

#include <algorithm>

namespace korvex {

struct RationalCubicEnd {
    double x, y, slope;
};

// The interpolant through both ends with control parameter `control` (3 is the cubic).
inline double rational_cubic_with(RationalCubicEnd l, RationalCubicEnd r, double control, double x) {
    const double width = r.x - l.x;
    const double u = std::clamp((x - l.x) / width, 0.0, 1.0);
    const double v = 1.0 - u;
    const double numerator = r.y * u * u * u + (control * r.y - width * r.slope) * u * u * v +
                             (control * l.y + width * l.slope) * u * v * v + l.y * v * v * v;
    return numerator / (1.0 + (control - 3.0) * u * v);
}

// The interpolant through both ends with their slopes, whose second derivative vanishes at the
// right end (zero_curvature_right) or at the left end, its control parameter kept at least
// the value that keeps it monotone.
inline double rational_cubic(RationalCubicEnd l, RationalCubicEnd r, bool zero_curvature_right,
                             double x) {
    const double width = r.x - l.x;
    if (!(width > 0.0)) return l.y;
    const double mean = (r.y - l.y) / width;
    const double denominator = zero_curvature_right ? r.slope - mean : mean - l.slope;
    double control = denominator != 0.0 ? (r.slope - l.slope) / denominator : 1e300;
    if (mean != 0.0) control = std::max(control, (l.slope + r.slope) / mean);
    if (!(control < 1e300)) control = 1e300;
    return rational_cubic_with(l, r, control, x);
}

// The interpolant whose second derivative at the right end is curvature_right (where the
// monotone floor allows).
inline double rational_cubic_fit_right(RationalCubicEnd l, RationalCubicEnd r, double curvature_right, double x) {
    const double width = r.x - l.x;
    if (!(width > 0.0)) return l.y;
    const double mean = (r.y - l.y) / width;
    const double denominator = r.slope - mean;
    double control = denominator != 0.0 ? (0.5 * width * curvature_right + r.slope - l.slope) / denominator : 1e300;
    if (mean != 0.0) control = std::max(control, (l.slope + r.slope) / mean);
    if (!(control < 1e300)) control = 1e300;
    return rational_cubic_with(l, r, control, x);
}

}  // namespace korvex
