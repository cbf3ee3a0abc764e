#include "bending/parameters.h"

#include <cmath>

namespace vcshrink {

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

}  // namespace vcshrink
