#include "volmodel/small_solve.hpp"

#include <cmath>

namespace korvex {

bool cholesky_solve(std::span<double> a, std::span<double> b, std::size_t n) {
    for (std::size_t j = 0; j < n; ++j) {
        double pivot = a[j * n + j];
        for (std::size_t k = 0; k < j; ++k) pivot -= a[j * n + k] * a[j * n + k];
        if (!(pivot > 0.0) || !std::isfinite(pivot)) return false;
        const double root = std::sqrt(pivot);
        a[j * n + j] = root;
        for (std::size_t i = j + 1; i < n; ++i) {
            double sum = a[i * n + j];
            for (std::size_t k = 0; k < j; ++k) sum -= a[i * n + k] * a[j * n + k];
            a[i * n + j] = sum / root;
        }
    }
    for (std::size_t i = 0; i < n; ++i) {  // L y = b
        double sum = b[i];
        for (std::size_t k = 0; k < i; ++k) sum -= a[i * n + k] * b[k];
        b[i] = sum / a[i * n + i];
    }
    for (std::size_t i = n; i-- > 0;) {  // L^T x = y
        double sum = b[i];
        for (std::size_t k = i + 1; k < n; ++k) sum -= a[k * n + i] * b[k];
        b[i] = sum / a[i * n + i];
    }
    return true;
}

}  // namespace korvex
