// The two matrix routines of the bending core: minv, the in-place Gauss-Jordan
// inverse with its absolute pivot limit, and mpro, the product into a cleared result.
// Both work on 30-row column-major storage and allocate nothing.
#pragma once

#include "matrix/trait_matrix.h"

namespace vcshrink {

// What minv did: inverted the block, or stopped at the first pivot below the limit.
struct [[nodiscard]] MinvResult {
  int failed_pivot = 0;  // 1-based index of the elimination step whose pivot failed; 0 when inverted

  bool inverted() const { return failed_pivot == 0; }
};

// Replaces the leading n x n block of a by its inverse: Gauss-Jordan without
// exchanges, diagonal held offset by one, pivot row multiplied by the reciprocal.
// A pivot p with |p| < PivotLimit stops the inversion (a is then partly changed) and
// is reported to the caller, who knows what the matrix means and ends the run.
// n <= MaxTraits; n <= 0 changes nothing.
MinvResult minv(TraitMatrix& a, int n);

// C(1..l, 1..n) := A(1..l, 1..m) x B(1..m, 1..n), each element cleared to +0 and then
// accumulated in ascending k. All three are 30-row column-major storage: element
// (i, j) at (i - 1) + 30 (j - 1). c must not overlap a or b; l, m, n <= MaxTraits.
// Elements of c outside the l x n block are not touched; m <= 0 leaves the block zero.
void mpro(const double* a, const double* b, double* c, int l, int m, int n);

// Matrix times matrix.
inline void mpro(const TraitMatrix& a, const TraitMatrix& b, TraitMatrix& c, int l, int m, int n) {
  mpro(a.a.data(), b.a.data(), c.a.data(), l, m, n);
}

// Matrix times column vector: c(1..l) := A(1..l, 1..m) x b(1..m).
inline void mpro(const TraitMatrix& a, const TraitVector& b, TraitVector& c, int l, int m) {
  mpro(a.a.data(), b.v.data(), c.v.data(), l, m, 1);
}

}  // namespace vcshrink
