#include <cmath>
#include <cstddef>
#include <cstdio>

#include "bending/bending.h"
#include "bending/parameters.h"
#include "bending/plausibility.h"
#include "run/end_run.h"
#include "matrix/matrix_ops.h"

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

// u' M v as (u' M) v: t(j) = the sum over i of u(i) M(i, j), then the sum over j of
// t(j) v(j), each from 0 in ascending index. The row u' M is left in row 1 of wk.
double quadratic_form(const TraitVector& u, const TraitMatrix& m, const TraitVector& v, int nt, TraitMatrix& wk) {
  double t[MaxTraits];
  int j = 0;
  for (; j + 8 <= nt; j += 8) column_sums<8>(u.v.data(), m.a.data() + j * S, nt, t + j);
  for (; j + 4 <= nt; j += 4) column_sums<4>(u.v.data(), m.a.data() + j * S, nt, t + j);
  for (; j + 2 <= nt; j += 2) column_sums<2>(u.v.data(), m.a.data() + j * S, nt, t + j);
  for (; j < nt; ++j) column_sums<1>(u.v.data(), m.a.data() + j * S, nt, t + j);
  double q = 0.0;
  for (j = 0; j < nt; ++j) {
    wk.a[static_cast<std::size_t>(j * S)] = t[j];
    q = q + t[j] * v.v[static_cast<std::size_t>(j)];
  }
  return q;
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

double evaluate_factor(RunState& s, double f) {
  const int nt = s.nt;
  bend_matrices(s, f);
  for (int j = 1; j <= nt; ++j)
    for (int i = 1; i <= nt; ++i) s.PADJINV(i, j) = s.PADJ(i, j);
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
  s.cov_ih = quadratic_form(s.BIDX, s.GFPRIOR, s.SCALE, nt, s.WK);
  s.var_h = quadratic_form(s.SCALE, s.GFPRIOR, s.SCALE, nt, s.WK);
  s.var_i = quadratic_form(s.BIDX, s.P, s.BIDX, nt, s.WK);

  double h = s.var_h;
  if (h < MinAggregateVariance) h = MinAggregateVariance;
  return s.cov_ih / std::sqrt(h * s.var_i);
}

void optimize_bending(RunState& s) {
  build_prior_covariance(s);
  // Grid factor k is the double nearest 0.001 times k, rounded once.
  for (int k = 0; k < GridSize; ++k) s.RHO[static_cast<std::size_t>(k)] = evaluate_factor(s, 0.001 * k);

  // The first strictly best score; a NaN never compares greater.
  s.rho_best = NoScore;
  bool chosen = false;
  for (int k = 0; k < GridSize; ++k) {
    if (s.RHO[static_cast<std::size_t>(k)] > s.rho_best) {
      s.rho_best = s.RHO[static_cast<std::size_t>(k)];
      s.kbest = k;
      chosen = true;
    }
  }
  // Every score NaN (all trait weights zero, for one), or every one a number at or
  // below the start of the selection (a prior far outside the range of parameters).
  if (!chosen) end_run(ExitStatus::NoFactor, no_factor_reason(s));

  s.bf_used = 0.001 * s.kbest;
  bend_matrices(s, s.bf_used);
  s.nzero_adj = derive_parameters(s.GFADJ, s.PADJ, s.nt, s.PARADJ);
}

}  // namespace vcshrink
