#include "matrix/matrix_ops.h"

#include <cmath>
#include <cstring>

// The loops below run over the independent elements of each step in whatever order
// suits the processor; the operations that form any one element, and their order, are
// those of the plain element-by-element loops: for minv the pivot row scaled by the
// pivot's reciprocal, then each other row less its multiplier times the pivot row,
// pivot by pivot; for mpro each sum formed over k in ascending order. That keeps every
// result bit for bit, including -0, infinities and NaNs.
//
// On x86-64 processors with AVX2 a wider-vector copy of each kernel is chosen once,
// from the processor features the C library has already read at start-up; neither copy
// contracts a product and a sum into one rounding. Defining VCSHRINK_BASELINE_KERNELS
// builds the baseline copy alone (to check that it gives the same bits on an AVX2
// machine).
#if defined(__x86_64__) && defined(__GLIBC__) && !defined(VCSHRINK_BASELINE_KERNELS)
#include <sys/platform/x86.h>
#define VCSHRINK_WIDE_KERNELS 1
#endif

namespace vcshrink {
namespace {

constexpr int S = MaxTraits;  // elements from one column to the next

// V adjacent elements of a column, as one value of the compiler's vector extension;
// loaded and stored with memcpy, so any alignment will do. V = 1 is a plain double.
template <int V>
struct Lanes {
  typedef double type __attribute__((vector_size(sizeof(double) * V)));
  typedef long long mask __attribute__((vector_size(sizeof(long long) * V)));  // a lane chosen: all bits set
};
template <>
struct Lanes<1> {
  using type = double;
};

// ---------------------------------------------------------------------------------
// minv: Gauss-Jordan steps taken Block at a time. Within a block the steps run in turn
// on a panel - the block's own rows and, for the other rows, each step's multipliers -
// and then one pass takes every other element through the block's updates, one after
// the other, each rounded before the next: exactly what separate passes would store.

constexpr int Block = 4;  // elimination steps per pass over the matrix

// What the block's steps leave for the rows outside the block; the block rows
// themselves are stepped in place (a column's block elements are adjacent).
struct Panel {
  double mult[Block][S];   // step b's multipliers: column i0 + b just before step b
  double pivot[Block][S];  // step b's pivot row times the reciprocal of its pivot
};

// Rows r .. r + V - 1 (none of them in the block) through the block's first NS steps,
// column by column: x := x - mult(b) pivot(b, k) for b ascending. The rows go as W
// vectors of U lanes (at most four: a vector register's width with AVX2).
template <int NS, int V>
inline __attribute__((always_inline)) void update_rows(double* __restrict a, int n, int r, const Panel& pn) {
  constexpr int U = V < 4 ? V : 4;
  constexpr int W = V / U;
  using L = typename Lanes<U>::type;
  L f[NS][W];
  for (int b = 0; b < NS; ++b)
    for (int w = 0; w < W; ++w) std::memcpy(&f[b][w], &pn.mult[b][r + w * U], sizeof(L));
  for (int k = 0; k < n; ++k) {
    double* const x = a + k * S + r;
    L v[W];
    for (int w = 0; w < W; ++w) std::memcpy(&v[w], x + w * U, sizeof(L));
    for (int b = 0; b < NS; ++b) {
      const double p = pn.pivot[b][k];
      for (int w = 0; w < W; ++w) v[w] = v[w] - f[b][w] * p;
    }
    for (int w = 0; w < W; ++w) std::memcpy(x + w * U, &v[w], sizeof(L));
  }
}

// Rows lo .. hi - 1 through the block's first NS steps, eight rows at a time.
template <int NS>
inline __attribute__((always_inline)) void update_range(double* __restrict a, int n, int lo, int hi,
                                                       const Panel& pn) {
  int r = lo;
  for (; r + 8 <= hi; r += 8) update_rows<NS, 8>(a, n, r, pn);
  if (r + 4 <= hi) {
    update_rows<NS, 4>(a, n, r, pn);
    r += 4;
  }
  if (r + 2 <= hi) {
    update_rows<NS, 2>(a, n, r, pn);
    r += 2;
  }
  if (r < hi) update_rows<NS, 1>(a, n, r, pn);
}

// Every row outside the block rows i0 .. i0 + NB - 1 through the block's first NS steps.
template <int NB, int NS>
inline __attribute__((always_inline)) void update_outside(double* __restrict a, int n, int i0, const Panel& pn) {
  update_range<NS>(a, n, 0, i0, pn);
  update_range<NS>(a, n, i0 + NB, n, pn);
}

// Ends the block after its first `done` steps: the other rows through those steps.
template <int NB>
inline __attribute__((always_inline)) void finish_block(double* __restrict a, int n, int i0, int done,
                                                       const Panel& pn) {
  switch (done) {
    case 1: update_outside<NB, 1>(a, n, i0, pn); break;
    case 2: update_outside<NB, 2>(a, n, i0, pn); break;
    case 3: update_outside<NB, 3>(a, n, i0, pn); break;
    case 4: update_outside<NB, 4>(a, n, i0, pn); break;
    default: break;
  }
}

// Step b's multipliers, column i = i0 + b as the block's earlier steps leave it, for
// every row (those of the block rows are not used: those rows are stepped in place).
template <int NB>
inline __attribute__((always_inline)) void form_multipliers(const double* __restrict a, int n, int i, int b,
                                                           Panel& pn) {
  using L = typename Lanes<4>::type;
  double p[NB];
  for (int c = 0; c < b; ++c) p[c] = pn.pivot[c][i];
  const double* const col = a + i * S;
  int r = 0;
  for (; r + 4 <= n; r += 4) {
    L m;
    std::memcpy(&m, col + r, sizeof m);
    for (int c = 0; c < b; ++c) {
      L f;
      std::memcpy(&f, &pn.mult[c][r], sizeof f);
      m = m - f * p[c];
    }
    std::memcpy(&pn.mult[b][r], &m, sizeof m);
  }
  for (; r < n; ++r) {
    double m = col[r];
    for (int c = 0; c < b; ++c) m = m - pn.mult[c][r] * p[c];
    pn.mult[b][r] = m;
  }
}

// Step b on the block rows, in place: the pivot row i = i0 + b scaled by the
// reciprocal q of the pivot, every other block row less its multiplier (its element
// in column i before the step) times the scaled pivot row, which is kept for the
// other rows.
template <int NB>
inline __attribute__((always_inline)) void pivot_block_rows(double* __restrict a, int n, int i0, int b, double q,
                                                           Panel& pn) {
  const int i = i0 + b;
  double* const pivot = pn.pivot[b];
  if constexpr (NB == 2 || NB == 4) {
    using L = typename Lanes<NB>::type;
    using Mask = typename Lanes<NB>::mask;
    L m;
    std::memcpy(&m, a + i0 + i * S, sizeof m);
    Mask own{};
    own[b] = -1;
    for (int k = 0; k < n; ++k) {
      double* const x = a + i0 + k * S;
      const double piv = q * x[b];
      pivot[k] = piv;
      L v, pv;
      std::memcpy(&v, x, sizeof v);
      for (int c = 0; c < NB; ++c) pv[c] = piv;
      v = own ? pv : v - m * piv;
      std::memcpy(x, &v, sizeof v);
    }
  } else {
    double m[NB];
    for (int c = 0; c < NB; ++c) m[c] = a[i0 + c + i * S];
    for (int k = 0; k < n; ++k) {
      double* const x = a + i0 + k * S;
      const double piv = q * x[b];
      pivot[k] = piv;
      for (int c = 0; c < NB; ++c) x[c] = c == b ? piv : x[c] - m[c] * piv;
    }
  }
}

// The NB steps i0 .. i0 + NB - 1; 0 when all were taken, else the 1-based step whose
// pivot is below the limit, the matrix then holding the earlier steps' result.
template <int NB>
inline __attribute__((always_inline)) int block_steps(double* __restrict a, int n, int i0, Panel& pn) {
  for (int b = 0; b < NB; ++b) {
    const int i = i0 + b;
    form_multipliers<NB>(a, n, i, b, pn);
    const double p = a[i + i * S] - 1.0;
    if (std::fabs(p) < PivotLimit) {
      finish_block<NB>(a, n, i0, b, pn);
      return i + 1;
    }
    pivot_block_rows<NB>(a, n, i0, b, 1.0 / p, pn);
  }
  finish_block<NB>(a, n, i0, NB, pn);
  return 0;
}

// Gauss-Jordan steps on the leading n x n block of a; 0 when inverted, else the
// 1-based step whose pivot is below the limit.
inline __attribute__((always_inline)) int invert_steps(double* __restrict a, int n) {
  for (int k = 0; k < n; ++k) a[k * S + k] = a[k * S + k] + 1.0;
  Panel pn;
  int i0 = 0;
  int failed = 0;
  for (; failed == 0 && i0 + Block <= n; i0 += Block) failed = block_steps<Block>(a, n, i0, pn);
  if (failed == 0) {
    switch (n - i0) {
      case 1: failed = block_steps<1>(a, n, i0, pn); break;
      case 2: failed = block_steps<2>(a, n, i0, pn); break;
      case 3: failed = block_steps<3>(a, n, i0, pn); break;
      default: break;
    }
  }
  if (failed != 0) return failed;
  for (int k = 0; k < n; ++k) a[k * S + k] = a[k * S + k] - 1.0;
  return 0;
}

// C block of R rows and C columns, held in locals over the whole sum: each element
// starts at +0 and adds its products A(i,k) b in ascending k.
template <int R, int C>
inline __attribute__((always_inline)) void product_block(const double* __restrict a, const double* __restrict b,
                                                        double* __restrict c, int m) {
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
inline __attribute__((always_inline)) void product_columns(const double* __restrict a, const double* __restrict b,
                                                          double* __restrict c, int l, int m) {
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

inline __attribute__((always_inline)) void multiply(const double* __restrict a, const double* __restrict b, double* __restrict c, int l,
                              int m, int n) {
  int j = 0;
  for (; j + 4 <= n; j += 4) product_columns<4>(a, b + j * S, c + j * S, l, m);
  for (; j < n; ++j) product_columns<1>(a, b + j * S, c + j * S, l, m);
}

// ---------------------------------------------------------------------------------
// The two copies of each kernel, and the choice between them.

int invert_baseline(double* a, int n) { return invert_steps(a, n); }
void multiply_baseline(const double* a, const double* b, double* c, int l, int m, int n) { multiply(a, b, c, l, m, n); }

#ifdef VCSHRINK_WIDE_KERNELS
__attribute__((target("avx2"))) int invert_wide(double* a, int n) { return invert_steps(a, n); }
__attribute__((target("avx2"))) void multiply_wide(const double* a, const double* b, double* c, int l, int m,
                                                   int n) {
  multiply(a, b, c, l, m, n);
}
#endif

struct Kernels {
  int (*invert)(double*, int);
  void (*multiply)(const double*, const double*, double*, int, int, int);
};

const Kernels& kernels() {
#ifdef VCSHRINK_WIDE_KERNELS
  static const Kernels chosen = CPU_FEATURE_ACTIVE(AVX2) ? Kernels{invert_wide, multiply_wide}
                                                         : Kernels{invert_baseline, multiply_baseline};
#else
  static const Kernels chosen{invert_baseline, multiply_baseline};
#endif
  return chosen;
}

}  // namespace

MinvResult minv(TraitMatrix& a, int n) { return MinvResult{kernels().invert(a.a.data(), n)}; }

void mpro(const double* a, const double* b, double* c, int l, int m, int n) { kernels().multiply(a, b, c, l, m, n); }

}  // namespace vcshrink
