#include <cmath>

#include "bending/bending.h"

namespace vcshrink {

void bend_matrices(RunState& s, double f) {
  const int nt = s.nt;
  const double a = f * s.eigmean;
  const double b = 1.0 - f;
  for (int j = 1; j <= nt; ++j) {
    for (int i = 1; i <= nt; ++i) s.GADJ(i, j) = a * s.R(i, j) + b * s.G(i, j);
  }
  const double cr = s.cr;
  for (int j = 1; j <= nt; ++j) {
    for (int i = 1; i <= nt; ++i) {
      s.PADJ(i, j) = s.GADJ(i, j) + s.R(i, j);
      s.GFADJ(i, j) = cr * s.GADJ(i, j);
    }
  }
}

int derive_parameters(const TraitMatrix& A, const TraitMatrix& Q, int nt, TraitMatrix& M) {
  int count = 0;
  for (int i = 1; i <= nt - 1; ++i) {
    for (int j = i + 1; j <= nt; ++j) {
      M(i, j) = Q(i, j) / std::sqrt(Q(i, i) * Q(j, j));
      if (A(i, i) < MinVariance || A(j, j) < MinVariance) {
        // A zero genetic variance: both correlations of the pair are 0 (M(j, i) keeps its 0).
        M(i, j) = 0.0;
        ++count;
      } else {
        M(j, i) = A(i, j) / std::sqrt(A(i, i) * A(j, j));
      }
    }
  }
  for (int k = 1; k <= nt; ++k) M(k, k) = A(k, k) / Q(k, k);
  return count;
}

void run_fixed_procedure(RunState& s) {
  bend_matrices(s, s.bf);
  s.nzero_adj = derive_parameters(s.GFADJ, s.PADJ, s.nt, s.PARADJ);
}

}  // namespace vcshrink
