// The AVX2 copies of minv's and mpro's kernels, for matrix_ops.cpp to choose from:
// the same elements, formed by the same operations in the same order, as the plain
// loops, with explicit vectors of four. They exist where VCSHRINK_WIDE_KERNELS is defined.
#pragma once

#include "matrix/kernel_copies.h"

namespace vcshrink {

#ifdef VCSHRINK_WIDE_KERNELS
// minv's Gauss-Jordan steps on the leading n x n block of 30-row column-major a: 0 when
// inverted, else the 1-based step whose pivot is below the limit.
VCSHRINK_WIDE int invert_wide(double* a, int n);
// mpro's C(1..l, 1..n) := A(1..l, 1..m) B(1..m, 1..n), every sum from +0 in ascending k.
VCSHRINK_WIDE void multiply_wide(const double* a, const double* b, double* c, int l, int m, int n);
#endif

}  // namespace vcshrink
