// Brent's root finder (bisection, secant and inverse quadratic steps) in its classic form.
// A template so that the objective inlines: one implied-volatility search must not allocate.
#pragma once

#include <cmath>
#include <expected>
#include <string>

namespace korvex {

struct NotBracketed {
    double a, fa, b, fb;
    // "Root not bracketed: f(a) = fa, f(b) = fb", each number as its shortest decimal.
    std::string message() const;
};

struct BrentSettings {
    double tol;
    int max_iterations;  // evaluations after the two at the bracket ends
};

// Same sign, tested on the values themselves: their product underflows to zero for tiny
// values and would let an unbracketed pair through.
inline bool same_sign(double x, double y) { return (x > 0.0 && y > 0.0) || (x < 0.0 && y < 0.0); }

// The search from bracket ends whose values the caller has already evaluated.
template <class F>
std::expected<double, NotBracketed> brent_from(F&& f, double a, double fa, double b, double fb,
                                               BrentSettings settings) {
    constexpr double two_eps = 2.0 * 2.220446049250313e-16;
    if (same_sign(fa, fb)) return std::unexpected(NotBracketed{a, fa, b, fb});

    double c = a, fc = fa;
    double d = b - a, e = d;
    for (int iteration = 0; iteration < settings.max_iterations; ++iteration) {
        if (same_sign(fb, fc)) {
            c = a;
            fc = fa;
            d = e = b - a;
        }
        if (std::fabs(fc) < std::fabs(fb)) {
            a = b;
            b = c;
            c = a;
            fa = fb;
            fb = fc;
            fc = fa;
        }
        const double tol1 = two_eps * std::fabs(b) + 0.5 * settings.tol;
        const double xm = 0.5 * (c - b);
        if (std::fabs(xm) <= tol1 || fb == 0.0) return b;

        if (std::fabs(e) >= tol1 && std::fabs(fa) > std::fabs(fb)) {
            const double s = fb / fa;
            double p, q;
            if (a == c) {
                p = 2.0 * xm * s;
                q = 1.0 - s;
            } else {
                const double qq = fa / fc;
                const double r = fb / fc;
                p = s * (2.0 * xm * qq * (qq - r) - (b - a) * (r - 1.0));
                q = (qq - 1.0) * (r - 1.0) * (s - 1.0);
            }
            if (p > 0.0) q = -q;
            p = std::fabs(p);
            const double min1 = 3.0 * xm * q - std::fabs(tol1 * q);
            const double min2 = std::fabs(e * q);
            if (2.0 * p < (min1 < min2 ? min1 : min2)) {
                e = d;
                d = p / q;
            } else {
                d = xm;
                e = d;
            }
        } else {
            d = xm;
            e = d;
        }
        a = b;
        fa = fb;
        b += std::fabs(d) > tol1 ? d : std::copysign(tol1, xm);
        fb = f(b);
    }
    return b;
}

template <class F>
std::expected<double, NotBracketed> brent(F&& f, double a, double b, BrentSettings settings) {
    const double fa = f(a);
    const double fb = f(b);
    return brent_from(f, a, fa, b, fb, settings);
}

}  // namespace korvex
