#include <cmath>
#include <cstdio>
#include <string>

#include "bending/bending.h"
#include "matrix/matrix_ops.h"
#include "run/end_run.h"

namespace vcshrink {

std::string singular_diagnostic(std::string_view matrix, int failed_pivot) {
  char limit[32];
  std::snprintf(limit, sizeof limit, "%.0e", PivotLimit);
  return std::string(matrix) + " cannot be inverted: the pivot at trait " + std::to_string(failed_pivot) +
         " is below " + limit;
}

void prepare_covariances(RunState& s) {
  const int nt = s.nt;

  // Aggregate-genotype weights: the trait weight over the full additive genetic
  // standard deviation, the variance first raised to the floor (a NaN stays).
  for (int i = 1; i <= nt; ++i) {
    double v = s.G(i, i);
    if (v < MinVariance) v = MinVariance;
    s.SCALE(i) = s.W(i) / std::sqrt(v * s.cr);
  }

  // Mean eigenvalue of R^-1 G as the trace of RINV G over nt; R itself stays as read.
  for (int j = 1; j <= nt; ++j)
    for (int i = 1; i <= nt; ++i) s.RINV(i, j) = s.R(i, j);
  if (const MinvResult inverse = minv(s.RINV, nt); !inverse.inverted()) {
    end_singular_matrix(singular_diagnostic("the residual matrix R", inverse.failed_pivot));
  }
  mpro(s.RINV, s.G, s.RINVG, nt, nt, nt);
  double trace = 0.0;
  for (int k = 1; k <= nt; ++k) trace = trace + s.RINVG(k, k);
  s.eigmean = trace / static_cast<double>(nt);

  // Phenotypic matrix from the two components as read; full genetic matrix on cr.
  for (int j = 1; j <= nt; ++j)
    for (int i = 1; i <= nt; ++i) {
      s.P(i, j) = s.G(i, j) + s.R(i, j);
      s.GF(i, j) = s.cr * s.G(i, j);
    }
}

}  // namespace vcshrink
