#include "matrix/matrix_ops.h"

#include <cmath>

#include "driver/end_run.h"

// The loops below run over the independent elements of each step in whatever order
// keeps the innermost loop on adjacent storage (down a column); the operations that
// form any one element, and their order, are those of the textbook statement of each
// routine. That keeps every result bit for bit, including -0, infinities and NaNs.
// On processors with AVX2 a wider-vector copy of each kernel is chosen at load time;
// neither copy contracts a product and a sum into one rounding.
#if defined(__x86_64__) && defined(__ELF__) && !defined(VCSHRINK_NO_TARGET_CLONES)
#define VCSHRINK_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define VCSHRINK_KERNEL
#endif

namespace vcshrink {
namespace {

constexpr int S = MaxTraits;  // elements from one column to the next

// Gauss-Jordan steps on the leading n x n block of a; false when a pivot is below
// the limit (a is then partly changed).
VCSHRINK_KERNEL bool invert_in_place(double* __restrict a, int n) {
  for (int k = 0; k < n; ++k) a[k * S + k] = a[k * S + k] + 1.0;
  double f[MaxTraits];
  for (int i = 0; i < n; ++i) {
    double* const pivot_col = a + i * S;
    const double p = pivot_col[i] - 1.0;
    if (std::fabs(p) < PivotLimit) return false;
    const double q = 1.0 / p;
    // Multipliers of every other row: column i before any row of this step changes.
    for (int r = 0; r < n; ++r) f[r] = pivot_col[r];
    // Column by column: the pivot row's element times q, then every other row's
    // element less its multiplier times that scaled element. Row i is left out of
    // the update by splitting the row range, not by a zero multiplier.
    for (int k = 0; k < n; ++k) {
      double* const col = a + k * S;
      const double pk = q * col[i];
      col[i] = pk;
      for (int r = 0; r < i; ++r) col[r] = col[r] - f[r] * pk;
      for (int r = i + 1; r < n; ++r) col[r] = col[r] - f[r] * pk;
    }
  }
  for (int k = 0; k < n; ++k) a[k * S + k] = a[k * S + k] - 1.0;
  return true;
}

VCSHRINK_KERNEL void multiply(const double* __restrict a, const double* __restrict b, double* __restrict c, int l,
                              int m, int n) {
  for (int j = 0; j < n; ++j) {
    double* const cj = c + j * S;
    const double* const bj = b + j * S;
    for (int i = 0; i < l; ++i) cj[i] = 0.0;
    for (int k = 0; k < m; ++k) {
      const double bk = bj[k];
      const double* const ak = a + k * S;
      for (int i = 0; i < l; ++i) cj[i] = cj[i] + ak[i] * bk;
    }
  }
}

}  // namespace

void minv(TraitMatrix& a, int n) {
  if (!invert_in_place(a.a.data(), n)) end_run(ExitStatus::SingularMatrix, {}, "matrix singulaer!");
}

void mpro(const double* a, const double* b, double* c, int l, int m, int n) { multiply(a, b, c, l, m, n); }

}  // namespace vcshrink
