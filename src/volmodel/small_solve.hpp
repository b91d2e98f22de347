// Solving the normal equations of a fit: a symmetric positive definite system of at most a
// dozen unknowns, by Cholesky factorisation in place.
#pragma once

#include <cstddef>
#include <span>

namespace korvex {

// Solves A x = b for symmetric positive definite A (n x n, row-major, only the lower triangle
// read; overwritten by its factor). b is overwritten by x. False when A is not positive definite
// to working precision (a pivot that is not positive and finite); b is then unspecified.
bool cholesky_solve(std::span<double> a, std::span<double> b, std::size_t n);

}  // namespace korvex
