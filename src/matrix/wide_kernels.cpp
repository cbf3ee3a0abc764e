// The AVX2 copies of minv's and mpro's kernels, and whether the processor runs them.
// Each vector holds adjacent elements of one column; every element is formed by the
// same operations, in the same order and rounding, as in the plain loops.
#include "matrix/wide_kernels.h"

#include "matrix/kernel_copies.h"

#ifdef VCSHRINK_WIDE_KERNELS

#include <cmath>
#include <cstring>

#include "matrix/matrix_ops.h"

// The C library's header spells its inline functions' result type the C way, which
// clang does not take in C++; g++ does.
#ifdef __clang__
#define _Bool bool
#endif
#include <sys/platform/x86.h>
#undef _Bool

namespace vcshrink {

bool wide_kernels_usable() {
  static const bool usable = CPU_FEATURE_ACTIVE(AVX2);
  return usable;
}

namespace {

constexpr int S = MaxTraits;  // elements from one column to the next

// The transpose of the 4 x 4 block whose columns are c0 .. c3, as its rows r0 .. r3.
VCSHRINK_KERNEL_BODY void transpose(const Lanes<4>::type& c0, const Lanes<4>::type& c1, const Lanes<4>::type& c2,
                                    const Lanes<4>::type& c3, Lanes<4>::type& r0, Lanes<4>::type& r1,
                                    Lanes<4>::type& r2, Lanes<4>::type& r3) {
  const Lanes<4>::type t0 = __builtin_shufflevector(c0, c1, 0, 4, 2, 6);
  const Lanes<4>::type t1 = __builtin_shufflevector(c0, c1, 1, 5, 3, 7);
  const Lanes<4>::type t2 = __builtin_shufflevector(c2, c3, 0, 4, 2, 6);
  const Lanes<4>::type t3 = __builtin_shufflevector(c2, c3, 1, 5, 3, 7);
  r0 = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
  r1 = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
  r2 = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
  r3 = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

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

// W vectors of U rows each, the w-th from row r(w) (none of them a block row),
// through the block's first NS steps, column by column: x := x - mult(b) pivot(b, k)
// for b ascending.
template <int NS, int U, int W>
VCSHRINK_KERNEL_BODY void update_rows(double* __restrict a, int n, const int (&r)[W], const Panel& pn) {
  using L = typename Lanes<U>::type;
  L f[NS][W];
  for (int b = 0; b < NS; ++b)
    for (int w = 0; w < W; ++w) std::memcpy(&f[b][w], &pn.mult[b][r[w]], sizeof(L));
  for (int k = 0; k < n; ++k) {
    double* const x = a + k * S;
    L v[W];
    for (int w = 0; w < W; ++w) std::memcpy(&v[w], x + r[w], sizeof(L));
    for (int b = 0; b < NS; ++b) {
      const double p = pn.pivot[b][k];
      for (int w = 0; w < W; ++w) v[w] = v[w] - f[b][w] * p;
    }
    for (int w = 0; w < W; ++w) std::memcpy(x + r[w], &v[w], sizeof(L));
  }
}

// Every row outside the block rows i0 .. i0 + NB - 1 through the block's first NS
// steps. Blocks start at multiples of four, so the other rows are whole fours - taken
// two at a time, wherever they lie - and, unless the block is the last one, the one
// to three rows past the last four.
template <int NB, int NS>
VCSHRINK_KERNEL_BODY void update_outside(double* __restrict a, int n, int i0, const Panel& pn) {
  int fours[MaxTraits / 4 + 1];
  int count = 0;
  for (int r = 0; r + 4 <= n; r += 4)
    if (r + 4 <= i0 || r >= i0 + NB) fours[count++] = r;
  int g = 0;
  for (; g + 2 <= count; g += 2) update_rows<NS, 4, 2>(a, n, {fours[g], fours[g + 1]}, pn);
  if (g < count) update_rows<NS, 4, 1>(a, n, {fours[g]}, pn);
  const int tail = n - n % 4;
  if (tail >= i0 + NB) {
    switch (n - tail) {
      case 1:
        update_rows<NS, 1, 1>(a, n, {tail}, pn);
        break;
      case 2:
        update_rows<NS, 2, 1>(a, n, {tail}, pn);
        break;
      case 3:
        update_rows<NS, 2, 1>(a, n, {tail}, pn);
        update_rows<NS, 1, 1>(a, n, {tail + 2}, pn);
        break;
      default:
        break;
    }
  }
}

// Step b's multipliers, column i = i0 + b as the block's earlier steps leave it, for
// every row (those of the block rows are not used: those rows are stepped in place).
// pivot_i(c) is element i of step c's scaled pivot row.
template <int NB>
VCSHRINK_KERNEL_BODY void form_multipliers(const double* __restrict a, int n, int i, int b, const double* pivot_i,
                                           Panel& pn) {
  using L = typename Lanes<4>::type;
  const double* const col = a + i * S;
  int r = 0;
  for (; r + 4 <= n; r += 4) {
    L m;
    std::memcpy(&m, col + r, sizeof m);
    for (int c = 0; c < b; ++c) {
      L f;
      std::memcpy(&f, &pn.mult[c][r], sizeof f);
      m = m - f * pivot_i[c];
    }
    std::memcpy(&pn.mult[b][r], &m, sizeof m);
  }
  for (; r < n; ++r) {
    double m = col[r];
    for (int c = 0; c < b; ++c) m = m - pn.mult[c][r] * pivot_i[c];
    pn.mult[b][r] = m;
  }
}

// The block's steps as they act on its own rows: the reciprocal of each pivot, and
// the multipliers of the block rows (their elements in the pivot's column just before
// the step; the pivot row's own is 0, its lane being replaced).
template <int NB>
struct BlockSteps {
  int taken = 0;  // steps whose pivot is not below the limit, before the first that is
  double q[NB];
  double m[NB][NB];        // m[b][c]: the multiplier of block row c in step b
  double pivot_d[NB][NB];  // pivot_d[b][d]: element i0 + d of step b's scaled pivot row
};

// Step B of the block's steps on its diagonal block d alone, in the order and rounding
// of the whole step, then the steps after it; they stop at a pivot below the limit.
// Each step is its own copy, with B a constant, so that d stays in registers through
// the chain of divisions.
template <int NB, int B>
VCSHRINK_KERNEL_BODY void plan_steps(double (&d)[NB][NB], BlockSteps<NB>& st) {
  if constexpr (B < NB) {
    const double p = d[B][B] - 1.0;
    if (std::fabs(p) < PivotLimit) return;
    const double q = 1.0 / p;
    st.q[B] = q;
    for (int c = 0; c < NB; ++c) st.m[B][c] = c == B ? 0.0 : d[c][B];
    for (int e = 0; e < NB; ++e) {
      const double piv = q * d[B][e];
      st.pivot_d[B][e] = piv;
      for (int c = 0; c < NB; ++c) d[c][e] = c == B ? piv : d[c][e] - st.m[B][c] * piv;
    }
    st.taken = B + 1;
    plan_steps<NB, B + 1>(d, st);
  }
}

// The block's steps on its diagonal NB x NB block, to know every pivot (and where one
// is below the limit) before the rows are stepped.
template <int NB>
VCSHRINK_KERNEL_BODY BlockSteps<NB> plan_block(const double* __restrict a, int i0) {
  BlockSteps<NB> st;
  double d[NB][NB];  // d[c][e]: element (i0 + c, i0 + e)
  for (int c = 0; c < NB; ++c)
    for (int e = 0; e < NB; ++e) d[c][e] = a[i0 + c + (i0 + e) * S];
  plan_steps<NB, 0>(d, st);
  return st;
}

// Columns k .. k + 3 of the four block rows through the planned steps: the 4 x 4
// tile is turned so that each vector holds one block row, the steps act on whole
// rows, and the tile is turned back.
template <int NS>
VCSHRINK_KERNEL_BODY void step_tile(double* __restrict x, int k, const BlockSteps<4>& st, Panel& pn) {
  using L = typename Lanes<4>::type;
  L c0, c1, c2, c3;  // one column of the four block rows each
  std::memcpy(&c0, x, sizeof c0);
  std::memcpy(&c1, x + S, sizeof c1);
  std::memcpy(&c2, x + 2 * S, sizeof c2);
  std::memcpy(&c3, x + 3 * S, sizeof c3);
  L row[4];
  transpose(c0, c1, c2, c3, row[0], row[1], row[2], row[3]);
  for (int b = 0; b < NS; ++b) {
    const L piv = row[b] * st.q[b];
    std::memcpy(&pn.pivot[b][k], &piv, sizeof piv);
    for (int c = 0; c < 4; ++c) row[c] = c == b ? piv : row[c] - st.m[b][c] * piv;
  }
  transpose(row[0], row[1], row[2], row[3], c0, c1, c2, c3);
  std::memcpy(x, &c0, sizeof c0);
  std::memcpy(x + S, &c1, sizeof c1);
  std::memcpy(x + 2 * S, &c2, sizeof c2);
  std::memcpy(x + 3 * S, &c3, sizeof c3);
}

// Column k of the block rows through the planned steps, in place (a column's block
// elements are adjacent).
template <int NB, int NS>
VCSHRINK_KERNEL_BODY void step_column(double* __restrict x, int k, const BlockSteps<NB>& st, Panel& pn) {
  for (int b = 0; b < NS; ++b) {
    const double piv = st.q[b] * x[b];
    pn.pivot[b][k] = piv;
    for (int c = 0; c < NB; ++c) x[c] = c == b ? piv : x[c] - st.m[b][c] * piv;
  }
}

// The block rows through the planned steps: at step b the pivot row is scaled by q(b)
// and kept for the other rows, and every other block row loses its multiplier times it.
template <int NB, int NS>
VCSHRINK_KERNEL_BODY void step_block_rows(double* __restrict a, int n, int i0, const BlockSteps<NB>& st, Panel& pn) {
  int k = 0;
  if constexpr (NB == 4) {
    for (; k + 4 <= n; k += 4) step_tile<NS>(a + i0 + k * S, k, st, pn);
  }
  for (; k < n; ++k) step_column<NB, NS>(a + i0 + k * S, k, st, pn);
}

// The block's first NS steps on the whole matrix, once they are planned: the other
// rows' multipliers (read before their columns change), the block rows, and the
// other rows through those steps.
template <int NB, int NS>
VCSHRINK_KERNEL_BODY void take_block_steps(double* __restrict a, int n, int i0, const BlockSteps<NB>& st, Panel& pn) {
  for (int b = 0; b < NS; ++b) {
    double pivot_i[NB];
    for (int c = 0; c < b; ++c) pivot_i[c] = st.pivot_d[c][b];
    form_multipliers<NB>(a, n, i0 + b, b, pivot_i, pn);
  }
  step_block_rows<NB, NS>(a, n, i0, st, pn);
  update_outside<NB, NS>(a, n, i0, pn);
}

// The NB steps i0 .. i0 + NB - 1; 0 when all were taken, else the 1-based step whose
// pivot is below the limit, the matrix then holding the earlier steps' result.
template <int NB>
VCSHRINK_KERNEL_BODY int block_steps(double* __restrict a, int n, int i0, Panel& pn) {
  const BlockSteps<NB> st = plan_block<NB>(a, i0);
  switch (st.taken) {
    case 1:
      take_block_steps<NB, 1>(a, n, i0, st, pn);
      break;
    case 2:
      if constexpr (NB >= 2) take_block_steps<NB, 2>(a, n, i0, st, pn);
      break;
    case 3:
      if constexpr (NB >= 3) take_block_steps<NB, 3>(a, n, i0, st, pn);
      break;
    case 4:
      if constexpr (NB >= 4) take_block_steps<NB, 4>(a, n, i0, st, pn);
      break;
    default:
      break;
  }
  return st.taken == NB ? 0 : i0 + st.taken + 1;
}

// Gauss-Jordan steps on the leading n x n block of a; 0 when inverted, else the
// 1-based step whose pivot is below the limit.
VCSHRINK_KERNEL_BODY int invert_blocks(double* __restrict a, int n) {
  for (int k = 0; k < n; ++k) a[k * S + k] = a[k * S + k] + 1.0;
  Panel pn;
  int i0 = 0;
  int failed = 0;
  for (; failed == 0 && i0 + Block <= n; i0 += Block) failed = block_steps<Block>(a, n, i0, pn);
  if (failed == 0) {
    switch (n - i0) {
      case 1:
        failed = block_steps<1>(a, n, i0, pn);
        break;
      case 2:
        failed = block_steps<2>(a, n, i0, pn);
        break;
      case 3:
        failed = block_steps<3>(a, n, i0, pn);
        break;
      default:
        break;
    }
  }
  if (failed != 0) return failed;
  for (int k = 0; k < n; ++k) a[k * S + k] = a[k * S + k] - 1.0;
  return 0;
}

// mpro by tiles of R rows and C columns of the result, each held in locals over its
// whole sum: every element starts at +0 and adds its products A(i, k) B(k, j) in
// ascending k. A tile's rows go as vectors of four, then of two, then one.
template <int R, int C>
VCSHRINK_KERNEL_BODY void product_tile(const double* __restrict a, const double* __restrict b, double* __restrict c,
                                       int m) {
  using L4 = typename Lanes<4>::type;
  using L2 = typename Lanes<2>::type;
  constexpr int W4 = R / 4;
  constexpr bool has2 = R % 4 >= 2;
  constexpr bool has1 = R % 2 == 1;
  constexpr int r2 = 4 * W4;  // first row of the two-lane part
  constexpr int r1 = R - 1;   // the single row, when there is one
  L4 acc4[C][W4 > 0 ? W4 : 1];
  L2 acc2[C];
  double acc1[C];
  for (int t = 0; t < C; ++t) {
    if constexpr (W4 > 0)
      for (int w = 0; w < W4; ++w) acc4[t][w] = L4{};
    if constexpr (has2) acc2[t] = L2{};
    if constexpr (has1) acc1[t] = 0.0;
  }
  for (int k = 0; k < m; ++k) {
    const double* const ak = a + k * S;
    L4 x4[W4 > 0 ? W4 : 1];
    L2 x2{};
    double x1 = 0.0;
    if constexpr (W4 > 0)
      for (int w = 0; w < W4; ++w) std::memcpy(&x4[w], ak + 4 * w, sizeof(L4));
    if constexpr (has2) std::memcpy(&x2, ak + r2, sizeof x2);
    if constexpr (has1) x1 = ak[r1];
    for (int t = 0; t < C; ++t) {
      const double bk = b[k + t * S];
      if constexpr (W4 > 0)
        for (int w = 0; w < W4; ++w) acc4[t][w] = acc4[t][w] + x4[w] * bk;
      if constexpr (has2) acc2[t] = acc2[t] + x2 * bk;
      if constexpr (has1) acc1[t] = acc1[t] + x1 * bk;
    }
  }
  for (int t = 0; t < C; ++t) {
    double* const ct = c + t * S;
    if constexpr (W4 > 0)
      for (int w = 0; w < W4; ++w) std::memcpy(ct + 4 * w, &acc4[t][w], sizeof(L4));
    if constexpr (has2) std::memcpy(ct + r2, &acc2[t], sizeof(L2));
    if constexpr (has1) ct[r1] = acc1[t];
  }
}

// The C columns j0 .. j0 + C - 1 of the result: rows eight at a time, then the rest
// of them in one tile.
template <int C>
VCSHRINK_KERNEL_BODY void product_columns(const double* __restrict a, const double* __restrict b, double* __restrict c,
                                          int l, int m) {
  int i = 0;
  for (; i + 8 <= l; i += 8) product_tile<8, C>(a + i, b, c + i, m);
  switch (l - i) {
    case 1:
      product_tile<1, C>(a + i, b, c + i, m);
      break;
    case 2:
      product_tile<2, C>(a + i, b, c + i, m);
      break;
    case 3:
      product_tile<3, C>(a + i, b, c + i, m);
      break;
    case 4:
      product_tile<4, C>(a + i, b, c + i, m);
      break;
    case 5:
      product_tile<5, C>(a + i, b, c + i, m);
      break;
    case 6:
      product_tile<6, C>(a + i, b, c + i, m);
      break;
    case 7:
      product_tile<7, C>(a + i, b, c + i, m);
      break;
    default:
      break;
  }
}

// Five columns at a time (30 traits are six such), then the rest in one group.
VCSHRINK_KERNEL_BODY void multiply_tiles(const double* __restrict a, const double* __restrict b, double* __restrict c,
                                         int l, int m, int n) {
  int j = 0;
  for (; j + 5 <= n; j += 5) product_columns<5>(a, b + j * S, c + j * S, l, m);
  switch (n - j) {
    case 1:
      product_columns<1>(a, b + j * S, c + j * S, l, m);
      break;
    case 2:
      product_columns<2>(a, b + j * S, c + j * S, l, m);
      break;
    case 3:
      product_columns<3>(a, b + j * S, c + j * S, l, m);
      break;
    case 4:
      product_columns<4>(a, b + j * S, c + j * S, l, m);
      break;
    default:
      break;
  }
}

}  // namespace

VCSHRINK_WIDE int invert_wide(double* a, int n) { return invert_blocks(a, n); }

VCSHRINK_WIDE void multiply_wide(const double* a, const double* b, double* c, int l, int m, int n) {
  multiply_tiles(a, b, c, l, m, n);
}

}  // namespace vcshrink

#else

namespace vcshrink {

bool wide_kernels_usable() { return false; }

}  // namespace vcshrink

#endif
