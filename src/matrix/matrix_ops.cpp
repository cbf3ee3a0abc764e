#include "matrix/matrix_ops.h"

#include <cmath>

#include "matrix/kernel_copies.h"
#include "matrix/wide_kernels.h"

// The loops below run over the independent elements of each step in whatever order
// keeps the innermost loop on adjacent storage (down a column); the operations that
// form any one element, and their order, are those of the plain element-by-element
// loops: for minv the pivot row scaled by the pivot's reciprocal, then each other row
// less its multiplier times the pivot row, pivot by pivot; for mpro each sum formed
// over k in ascending order. That keeps every result bit for bit, including -0,
// infinities and NaNs. These plain loops are the copy for any processor; the AVX2
// copy (wide_kernels.cpp) forms the same elements with explicit vectors.

namespace vcshrink {
namespace {

constexpr int S = MaxTraits;  // elements from one column to the next

// One elimination step i whose pivot row, already multiplied by the reciprocal of
// the pivot, is ri and whose multipliers (column i before the step) are f: stores
// the pivot row and takes f(r) times it from every other row r.
VCSHRINK_KERNEL_BODY void eliminate(double* __restrict a, int n, int i, const double* __restrict f,
                                    const double* __restrict ri) {
  for (int k = 0; k < n; ++k) {
    double* const col = a + k * S;
    const double pk = ri[k];
    col[i] = pk;
    for (int r = 0; r < i; ++r) col[r] = col[r] - f[r] * pk;
    for (int r = i + 1; r < n; ++r) col[r] = col[r] - f[r] * pk;
  }
}

// The start of elimination step i (0-based): the multipliers (column i before the
// step) into f and the pivot row times the reciprocal of the pivot into ri; false
// when the pivot is below the limit.
VCSHRINK_KERNEL_BODY bool begin_step(const double* a, int n, int i, double* f, double* ri) {
  const double* const ci = a + i * S;
  const double p = ci[i] - 1.0;
  if (std::fabs(p) < PivotLimit) return false;
  const double q = 1.0 / p;
  for (int r = 0; r < n; ++r) f[r] = ci[r];
  for (int k = 0; k < n; ++k) ri[k] = q * a[i + k * S];
  return true;
}

// Gauss-Jordan steps on the leading n x n block of a; 0 when inverted, else the
// 1-based step whose pivot is below the limit (a then holds the result of the steps
// before that pivot's).
//
// Two steps i and j = i + 1 go through the matrix in one pass. Before it, the rows
// and multipliers that the second step needs are formed exactly as the first step
// would leave them: row j after step i, and column j after step i (its multipliers).
// In the pass each element of another row then gets both updates in turn, the first
// rounded before the second, as two separate passes would give them.
int invert_plain(double* __restrict a, int n) {
  for (int k = 0; k < n; ++k) a[k * S + k] = a[k * S + k] + 1.0;
  double f[MaxTraits], g[MaxTraits], ri[MaxTraits], rj[MaxTraits];
  int i = 0;
  for (; i + 1 < n; i += 2) {
    const int j = i + 1;
    const double* const cj = a + j * S;
    if (!begin_step(a, n, i, f, ri)) return i + 1;
    for (int k = 0; k < n; ++k) rj[k] = a[j + k * S] - f[j] * ri[k];
    const double p2 = rj[j] - 1.0;
    if (std::fabs(p2) < PivotLimit) {
      eliminate(a, n, i, f, ri);  // step i completes before the inversion stops at step j
      return j + 1;
    }
    const double q2 = 1.0 / p2;
    for (int r = 0; r < i; ++r) g[r] = cj[r] - f[r] * ri[j];
    for (int r = j + 1; r < n; ++r) g[r] = cj[r] - f[r] * ri[j];
    const double gi = ri[j];
    for (int k = 0; k < n; ++k) rj[k] = q2 * rj[k];
    for (int k = 0; k < n; ++k) {
      double* const col = a + k * S;
      const double pik = ri[k], pjk = rj[k];
      for (int r = 0; r < i; ++r) col[r] = (col[r] - f[r] * pik) - g[r] * pjk;
      for (int r = j + 1; r < n; ++r) col[r] = (col[r] - f[r] * pik) - g[r] * pjk;
      col[i] = pik - gi * pjk;
      col[j] = pjk;
    }
  }
  if (i < n) {  // the last step of an odd order
    if (!begin_step(a, n, i, f, ri)) return i + 1;
    eliminate(a, n, i, f, ri);
  }
  for (int k = 0; k < n; ++k) a[k * S + k] = a[k * S + k] - 1.0;
  return 0;
}

// C block of R rows and C columns, held in locals over the whole sum: each element
// starts at +0 and adds its products A(i,k) b in ascending k.
template <int R, int C>
VCSHRINK_KERNEL_BODY void product_block(const double* __restrict a, const double* __restrict b, double* __restrict c,
                                        int m) {
  double acc[C][R];
  for (int t = 0; t < C; ++t)
    for (int r = 0; r < R; ++r) acc[t][r] = 0.0;
  for (int k = 0; k < m; ++k) {
    const double* const ak = a + k * S;
    for (int t = 0; t < C; ++t) {
      const double bk = b[k + t * S];
      for (int r = 0; r < R; ++r) acc[t][r] = acc[t][r] + ak[r] * bk;
    }
  }
  for (int t = 0; t < C; ++t)
    for (int r = 0; r < R; ++r) c[r + t * S] = acc[t][r];
}

// The columns j0 .. j0 + C - 1 of C, row block by row block.
template <int C>
VCSHRINK_KERNEL_BODY void product_columns(const double* __restrict a, const double* __restrict b, double* __restrict c,
                                          int l, int m) {
  int i = 0;
  for (; i + 8 <= l; i += 8) product_block<8, C>(a + i, b, c + i, m);
  if (i + 4 <= l) {
    product_block<4, C>(a + i, b, c + i, m);
    i += 4;
  }
  if (i + 2 <= l) {
    product_block<2, C>(a + i, b, c + i, m);
    i += 2;
  }
  if (i < l) product_block<1, C>(a + i, b, c + i, m);
}

void multiply_plain(const double* __restrict a, const double* __restrict b, double* __restrict c, int l, int m, int n) {
  int j = 0;
  for (; j + 4 <= n; j += 4) product_columns<4>(a, b + j * S, c + j * S, l, m);
  for (; j < n; ++j) product_columns<1>(a, b + j * S, c + j * S, l, m);
}

#ifndef VCSHRINK_WIDE_KERNELS
constexpr auto invert_wide = invert_plain;
constexpr auto multiply_wide = multiply_plain;
#endif

}  // namespace

MinvResult minv(TraitMatrix& a, int n) {
  static const auto invert = choose_copy(invert_plain, invert_wide);
  return MinvResult{invert(a.a.data(), n)};
}

void mpro(const double* a, const double* b, double* c, int l, int m, int n) {
  static const auto product = choose_copy(multiply_plain, multiply_wide);
  product(a, b, c, l, m, n);
}

}  // namespace vcshrink
