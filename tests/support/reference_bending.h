// Reference bending core for the tests and the benchmark: the covariance preparation,
// bending, the prior genetic matrix, the score of one factor and the grid search as plain
// loops, each quantity formed in turn with every sum in ascending index order, on the
// reference matrix routines. The program's must give the same bits.
#pragma once

#include <cmath>
#include <cstddef>

#include "run/run_state.h"
#include "reference_matrix.h"

namespace vcshrink::reference {

// SCALE, RINV, RINVG, eigmean, P and GF; returns false where the program ends the run.
inline bool prepare_covariances(RunState& s) {
  const int nt = s.nt;
  for (int i = 1; i <= nt; ++i) {
    double v = s.G(i, i);
    if (v < MinVariance) v = MinVariance;
    s.SCALE(i) = s.W(i) / std::sqrt(v * s.cr);
  }
  for (int j = 1; j <= nt; ++j)
    for (int i = 1; i <= nt; ++i) s.RINV(i, j) = s.R(i, j);
  if (!reference::minv(s.RINV, nt)) return false;
  reference::mpro(s.RINV.a.data(), s.G.a.data(), s.RINVG.a.data(), nt, nt, nt);
  double sum = 0.0;
  for (int k = 1; k <= nt; ++k) sum = sum + s.RINVG(k, k);
  s.eigmean = sum / static_cast<double>(nt);
  for (int j = 1; j <= nt; ++j)
    for (int i = 1; i <= nt; ++i) {
      s.P(i, j) = s.G(i, j) + s.R(i, j);
      s.GF(i, j) = s.cr * s.G(i, j);
    }
  return true;
}

inline void bend_matrices(RunState& s, double f) {
  const double a = f * s.eigmean;
  const double b = 1.0 - f;
  for (int j = 1; j <= s.nt; ++j)
    for (int i = 1; i <= s.nt; ++i) s.GADJ(i, j) = a * s.R(i, j) + b * s.G(i, j);
  for (int j = 1; j <= s.nt; ++j)
    for (int i = 1; i <= s.nt; ++i) {
      s.PADJ(i, j) = s.GADJ(i, j) + s.R(i, j);
      s.GFADJ(i, j) = s.cr * s.GADJ(i, j);
    }
}

inline void build_prior_covariance(RunState& s) {
  for (int i = 1; i <= s.nt; ++i) s.GFPRIOR(i, i) = s.P(i, i) * s.PRIOR(i, i);
  for (int i = 1; i <= s.nt - 1; ++i)
    for (int j = i + 1; j <= s.nt; ++j) {
      const double v = std::sqrt(s.GFPRIOR(j, j) * s.GFPRIOR(i, i)) * s.PRIOR(i, j);
      s.GFPRIOR(i, j) = v;
      s.GFPRIOR(j, i) = v;
    }
}

// Row vector u times m times column vector v, through row 1 of wk.
inline double quadratic_form(const TraitVector& u, const TraitMatrix& m, const TraitVector& v, int nt,
                             TraitMatrix& wk) {
  TraitMatrix row;
  for (int k = 1; k <= nt; ++k) row(1, k) = u(k);
  reference::mpro(row.a.data(), m.a.data(), wk.a.data(), 1, nt, nt);
  TraitMatrix q;
  reference::mpro(wk.a.data(), v.v.data(), q.a.data(), 1, nt, 1);
  return q(1, 1);
}

// The score of f; singular is set where the program ends the run.
inline double evaluate_factor(RunState& s, double f, bool& singular) {
  const int nt = s.nt;
  reference::bend_matrices(s, f);
  for (int j = 1; j <= nt; ++j)
    for (int i = 1; i <= nt; ++i) s.PADJINV(i, j) = s.PADJ(i, j);
  singular = !reference::minv(s.PADJINV, nt);
  if (singular) return 0.0;
  reference::mpro(s.PADJINV.a.data(), s.GFADJ.a.data(), s.WK.a.data(), nt, nt, nt);
  reference::mpro(s.WK.a.data(), s.SCALE.v.data(), s.BIDX.v.data(), nt, nt, 1);
  s.cov_ih = reference::quadratic_form(s.BIDX, s.GFPRIOR, s.SCALE, nt, s.WK);
  s.var_h = reference::quadratic_form(s.SCALE, s.GFPRIOR, s.SCALE, nt, s.WK);
  s.var_i = reference::quadratic_form(s.BIDX, s.P, s.BIDX, nt, s.WK);
  double h = s.var_h;
  if (s.var_h < 0.001) h = 0.001;
  return s.cov_ih / std::sqrt(h * s.var_i);
}

// The grid search up to bf_used and the final bend (parameters not derived here).
// Returns false where the program ends the run (singular matrix or no factor).
inline bool optimize_bending(RunState& s) {
  reference::build_prior_covariance(s);
  for (int k = 0; k <= 1000; ++k) {
    bool singular = false;
    s.RHO[static_cast<std::size_t>(k)] = reference::evaluate_factor(s, 0.001 * k, singular);
    if (singular) return false;
  }
  s.rho_best = -999.0;
  bool chosen = false;
  for (int k = 0; k <= 1000; ++k)
    if (s.RHO[static_cast<std::size_t>(k)] > s.rho_best) {
      s.rho_best = s.RHO[static_cast<std::size_t>(k)];
      s.kbest = k;
      chosen = true;
    }
  if (!chosen) return false;
  s.bf_used = 0.001 * s.kbest;
  reference::bend_matrices(s, s.bf_used);
  return true;
}

}  // namespace vcshrink::reference
