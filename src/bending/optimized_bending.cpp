#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include "bending/bending.h"
#include "bending/parameters.h"
#include "bending/plausibility.h"
#include "matrix/kernel_copies.h"
#include "matrix/matrix_ops.h"
#include "run/end_run.h"

namespace vcshrink {
namespace {

// Scores at or below this are never chosen; it is where the selection starts.
constexpr double NoScore = -999.0;
// The variance of the aggregate genotype is raised to this before it divides.
constexpr double MinAggregateVariance = 0.001;

constexpr int S = MaxTraits;  // elements from one column to the next

// Columns j .. j + C - 1 of u' M into t: each t(c) starts at +0 and adds u(i) M(i, j + c)
// for i ascending. The C sums are independent, so their chains of additions overlap.
template <int C>
inline void column_sums(const double* __restrict u, const double* __restrict m, int nt, double* __restrict t) {
  double acc[C];
  for (int c = 0; c < C; ++c) acc[c] = 0.0;
  for (int i = 0; i < nt; ++i) {
    const double ui = u[i];
    for (int c = 0; c < C; ++c) acc[c] = acc[c] + ui * m[i + c * S];
  }
  for (int c = 0; c < C; ++c) t[c] = acc[c];
}

// u' M into t, t(j) the sum over i ascending of u(i) M(i, j), from +0.
void row_times(const double* __restrict u, const double* __restrict m, int nt, double* __restrict t) {
  int j = 0;
  for (; j + 8 <= nt; j += 8) column_sums<8>(u, m + j * S, nt, t + j);
  for (; j + 4 <= nt; j += 4) column_sums<4>(u, m + j * S, nt, t + j);
  for (; j + 2 <= nt; j += 2) column_sums<2>(u, m + j * S, nt, t + j);
  for (; j < nt; ++j) column_sums<1>(u, m + j * S, nt, t + j);
}

// The same sums for a symmetric M, whose column i holds its row i: all nt sums go
// forward together, each adding u(i) M(j, i) for i ascending, down adjacent storage.
void row_times_symmetric_plain(const double* __restrict u, const double* __restrict m, int nt, double* __restrict t) {
  for (int j = 0; j < nt; ++j) t[j] = 0.0;
  for (int i = 0; i < nt; ++i) {
    const double ui = u[i];
    const double* const col = m + i * S;
    for (int j = 0; j < nt; ++j) t[j] = t[j] + col[j] * ui;
  }
}

#ifdef VCSHRINK_WIDE_KERNELS
// The AVX2 copy of the same sums: held in W vectors of four and the nt mod 4 left over.
template <int W>
VCSHRINK_KERNEL_BODY void symmetric_row_sums(const double* __restrict u, const double* __restrict m, int nt,
                                             double* __restrict t) {
  using L4 = Lanes<4>::type;
  using L2 = Lanes<2>::type;
  const int rest = nt - 4 * W;  // 0 .. 3
  L4 acc[W > 0 ? W : 1];
  if constexpr (W > 0)
    for (int w = 0; w < W; ++w) acc[w] = L4{};
  L2 acc2{};
  double acc1 = 0.0;
  for (int i = 0; i < nt; ++i) {
    const double ui = u[i];
    const double* const col = m + i * S;
    if constexpr (W > 0)
      for (int w = 0; w < W; ++w) {
        L4 x;
        std::memcpy(&x, col + 4 * w, sizeof x);
        acc[w] = acc[w] + x * ui;
      }
    if (rest >= 2) {
      L2 x;
      std::memcpy(&x, col + 4 * W, sizeof x);
      acc2 = acc2 + x * ui;
    }
    if (rest % 2 == 1) acc1 = acc1 + col[nt - 1] * ui;
  }
  if constexpr (W > 0)
    for (int w = 0; w < W; ++w) std::memcpy(t + 4 * w, &acc[w], sizeof(L4));
  if (rest >= 2) std::memcpy(t + 4 * W, &acc2, sizeof acc2);
  if (rest % 2 == 1) t[nt - 1] = acc1;
}

VCSHRINK_KERNEL_BODY void row_times_symmetric_body(const double* __restrict u, const double* __restrict m, int nt,
                                                   double* __restrict t) {
  switch (nt / 4) {
    case 0:
      symmetric_row_sums<0>(u, m, nt, t);
      break;
    case 1:
      symmetric_row_sums<1>(u, m, nt, t);
      break;
    case 2:
      symmetric_row_sums<2>(u, m, nt, t);
      break;
    case 3:
      symmetric_row_sums<3>(u, m, nt, t);
      break;
    case 4:
      symmetric_row_sums<4>(u, m, nt, t);
      break;
    case 5:
      symmetric_row_sums<5>(u, m, nt, t);
      break;
    case 6:
      symmetric_row_sums<6>(u, m, nt, t);
      break;
    default:
      symmetric_row_sums<7>(u, m, nt, t);
      break;
  }
}

VCSHRINK_WIDE void row_times_symmetric_wide(const double* u, const double* m, int nt, double* t) {
  row_times_symmetric_body(u, m, nt, t);
}
#else
constexpr auto row_times_symmetric_wide = row_times_symmetric_plain;
#endif

void row_times_symmetric(const double* u, const double* m, int nt, double* t) {
  static const auto sums = choose_copy(row_times_symmetric_plain, row_times_symmetric_wide);
  sums(u, m, nt, t);
}

// True when the leading nt x nt block of m equals its transpose bit for bit.
bool symmetric(const TraitMatrix& m, int nt) {
  for (int j = 0; j < nt; ++j)
    for (int i = j + 1; i < nt; ++i)
      if (std::memcmp(&m.a[static_cast<std::size_t>(i + j * S)], &m.a[static_cast<std::size_t>(j + i * S)],
                      sizeof(double)) != 0)
        return false;
  return true;
}

// u' M v as (u' M) v: t(j) = the sum over i of u(i) M(i, j), then the sum over j of
// t(j) v(j), each from 0 in ascending index. With row_out the row u' M is left in
// row 1 of wk.
double quadratic_form(const TraitVector& u, const TraitMatrix& m, bool m_symmetric, const TraitVector& v, int nt,
                      TraitMatrix* row_out) {
  double t[MaxTraits];
  if (m_symmetric)
    row_times_symmetric(u.v.data(), m.a.data(), nt, t);
  else
    row_times(u.v.data(), m.a.data(), nt, t);
  double q = 0.0;
  for (int j = 0; j < nt; ++j) q = q + t[j] * v.v[static_cast<std::size_t>(j)];
  if (row_out != nullptr)
    for (int j = 0; j < nt; ++j) row_out->a[static_cast<std::size_t>(j * S)] = t[j];
  return q;
}

// What the scores of one run share: var_h (the aggregate genotype's variance, the
// same for every factor), and whether P is symmetric (GFPRIOR always is).
struct SearchConstants {
  bool p_symmetric = false;
  double var_h = 0.0;
};

SearchConstants search_constants(const RunState& s, TraitMatrix& wk) {
  SearchConstants c;
  c.p_symmetric = symmetric(s.P, s.nt);
  c.var_h = quadratic_form(s.SCALE, s.GFPRIOR, true, s.SCALE, s.nt, &wk);
  return c;
}

// The matrices bent by f that the score needs: PADJINV := GADJ + R (to be inverted in
// place) and GFADJ := cr GADJ, with GADJ = (f eigmean) R + (1 - f) G formed and rounded
// as bend_matrices forms it.
VCSHRINK_KERNEL_BODY void bend_for_score_body(const double* __restrict r, const double* __restrict g, int nt, double a,
                                              double b, double cr, double* __restrict padj, double* __restrict gfadj) {
  for (int j = 0; j < nt; ++j) {
    for (int i = j * S; i < j * S + nt; ++i) {
      const double gadj = a * r[i] + b * g[i];
      padj[i] = gadj + r[i];
      gfadj[i] = cr * gadj;
    }
  }
}

void bend_for_score_baseline(const double* r, const double* g, int nt, double a, double b, double cr, double* padj,
                             double* gfadj) {
  bend_for_score_body(r, g, nt, a, b, cr, padj, gfadj);
}
#ifdef VCSHRINK_WIDE_KERNELS
VCSHRINK_WIDE void bend_for_score_wide(const double* r, const double* g, int nt, double a, double b, double cr,
                                       double* padj, double* gfadj) {
  bend_for_score_body(r, g, nt, a, b, cr, padj, gfadj);
}
#else
constexpr auto bend_for_score_wide = bend_for_score_baseline;
#endif

void bend_for_score(RunState& s, double f) {
  static const auto bend = choose_copy(bend_for_score_baseline, bend_for_score_wide);
  bend(s.R.a.data(), s.G.a.data(), s.nt, f * s.eigmean, 1.0 - f, s.cr, s.PADJINV.a.data(), s.GFADJ.a.data());
}

double score(RunState& s, double f, const SearchConstants& c) {
  const int nt = s.nt;
  bend_for_score(s, f);
  if (const MinvResult inverse = minv(s.PADJINV, nt); !inverse.inverted()) {
    char where[128];
    std::snprintf(where, sizeof where, "the adjusted phenotypic matrix at bending factor %.3f of the search", f);
    end_singular_matrix(singular_diagnostic(where, inverse.failed_pivot));
  }

  // Index weights (PADJ^-1 GFADJ) SCALE, the matrix product first.
  mpro(s.PADJINV, s.GFADJ, s.WK, nt, nt, nt);
  mpro(s.WK, s.SCALE, s.BIDX, nt, nt);

  // Covariance of index and aggregate genotype and their variances under the prior
  // genetic matrix and the unbent phenotypic matrix.
  s.cov_ih = quadratic_form(s.BIDX, s.GFPRIOR, true, s.SCALE, nt, nullptr);
  s.var_h = c.var_h;
  s.var_i = quadratic_form(s.BIDX, s.P, c.p_symmetric, s.BIDX, nt, &s.WK);

  double h = s.var_h;
  if (h < MinAggregateVariance) h = MinAggregateVariance;
  return s.cov_ih / std::sqrt(h * s.var_i);
}

// kbest, rho_best := the first strictly best score above NoScore, among the factors
// that leave G positive definite when pd is set; false when there is none.
bool select_best(RunState& s, bool pd) {
  s.rho_best = NoScore;
  bool chosen = false;
  for (int k = 0; k < GridSize; ++k) {
    if (pd && !bent_positive_definite(s, 0.001 * k)) continue;
    if (s.RHO[static_cast<std::size_t>(k)] > s.rho_best) {
      s.rho_best = s.RHO[static_cast<std::size_t>(k)];
      s.kbest = k;
      chosen = true;
    }
  }
  return chosen;
}

}  // namespace

void build_prior_covariance(RunState& s) {
  const int nt = s.nt;
  for (int i = 1; i <= nt; ++i) s.GFPRIOR(i, i) = s.P(i, i) * s.PRIOR(i, i);
  for (int i = 1; i <= nt - 1; ++i) {
    for (int j = i + 1; j <= nt; ++j) {
      const double v = std::sqrt(s.GFPRIOR(j, j) * s.GFPRIOR(i, i)) * s.PRIOR(i, j);
      s.GFPRIOR(i, j) = v;
      s.GFPRIOR(j, i) = v;
    }
  }
}

double evaluate_factor(RunState& s, double f) { return score(s, f, search_constants(s, s.WK)); }

void optimize_bending(RunState& s) {
  build_prior_covariance(s);
  // Grid factor k is the double nearest 0.001 times k, rounded once.
  const SearchConstants c = search_constants(s, s.WK);
  for (int k = 0; k < GridSize; ++k) s.RHO[static_cast<std::size_t>(k)] = score(s, 0.001 * k, c);

  // The first strictly best score; a NaN never compares greater. None: every score NaN
  // (all trait weights zero, for one), or every one a number at or below the start of
  // the selection (a prior far outside the range of parameters).
  if (!select_best(s, false)) end_run(ExitStatus::NoFactor, no_factor_reason(s));
  s.kbest_unrestricted = s.kbest;
  s.rho_best_unrestricted = s.rho_best;
  if (s.pd_only && !select_best(s, true)) {
    char from[16];
    std::snprintf(from, sizeof from, "%d.%03d", s.kpd / 1000, s.kpd % 1000);
    end_run(ExitStatus::NoFactor, std::string("no positive definite bending factor could be chosen: no score from ") +
                                      from + " on is a number above -999");
  }

  s.bf_used = 0.001 * s.kbest;
  bend_matrices(s, s.bf_used);
  s.nzero_adj = derive_parameters(s.GFADJ, s.PADJ, s.nt, s.PARADJ);
}

}  // namespace vcshrink
