#include "option_pricing/normal_tails.hpp"

#include <algorithm>
#include <cmath>

namespace korvex {
namespace {

constexpr double kInvSqrtPi = 0.56418958354775628;   // 1/sqrt(pi)
constexpr double kSqrtHalfPi = 1.2533141373155003;   // sqrt(pi/2)
constexpr double kInvSqrtTwo = 0.70710678118654752;  // 1/sqrt(2)


#include "option_pricing/erfcx_table.inc"

// Beyond the table the asymptotic series is exact to rounding: its first omitted term is below
// 1e-19 relative from u = 12 on.
constexpr double kSeriesFrom = 12.0;
constexpr int kPieceCount = sizeof(kErfcxPieces) / sizeof(kErfcxPieces[0]);
constexpr int kPieceTerms = sizeof(kErfcxPieces[0]) / sizeof(double);

// erfcx(u) = 1/(u sqrt(pi)) * sum_k (-1)^k (2k-1)!! / (2u^2)^k.
double erfcx_series(double u) {
    const double v = 0.5 / (u * u);
    double sum = 0.0;
    for (int k = 13; k >= 1; --k) sum = v * (2 * k - 1) * (1.0 - sum);
    return kInvSqrtPi / u * (1.0 - sum);
}

}  // namespace

double erfcx_nonnegative(double u) {
    if (!(u < kSeriesFrom)) return erfcx_series(u);
    // Pieces of width 1/4: the polynomial's variable z = 8 (u - centre) lies in [-1, 1].
    const int i = std::min(static_cast<int>(u * 4.0), kPieceCount - 1);
    const double z = 8.0 * u - (2 * i + 1);
    const double* c = kErfcxPieces[i];
    // Estrin's scheme: a chain of four multiply-adds instead of Horner's eleven.
    static_assert(kPieceTerms == 12);
    const double z2 = z * z, z4 = z2 * z2, z8 = z4 * z4;
    const double q0 = (c[0] + c[1] * z) + (c[2] + c[3] * z) * z2;
    const double q1 = (c[4] + c[5] * z) + (c[6] + c[7] * z) * z2;
    const double q2 = (c[8] + c[9] * z) + (c[10] + c[11] * z) * z2;
    return (q0 + q1 * z4) + q2 * z8;
}

double normal_ratio_lower(double z) { return kSqrtHalfPi * erfcx_nonnegative(-z * kInvSqrtTwo); }

double inverse_normal_rough(double p) {
    // Abramowitz & Stegun 26.2.23.
    const double t = std::sqrt(-2.0 * std::log(p));
    const double num = 2.515517 + t * (0.802853 + t * 0.010328);
    const double den = 1.0 + t * (1.432788 + t * (0.189269 + t * 0.001308));
    return num / den - t;
}

}  // namespace korvex
