// Reference matrix routines for the tests and the benchmark: the inverse and the
// product as plain loops, one element at a time, rows and columns in ascending order,
// on the same 30-row column-major storage. The program's routines, whatever order
// they visit elements in, must give the same bits.
#pragma once

#include <cmath>

#include "matrix/trait_matrix.h"

namespace vcshrink::reference {

// Element (i, j), 1-based, of 30-row column-major storage.
inline double& at(double* x, int i, int j) { return x[(i - 1) + MaxTraits * (j - 1)]; }
inline double at(const double* x, int i, int j) { return x[(i - 1) + MaxTraits * (j - 1)]; }

// In-place inverse; returns false where the program ends the run (small pivot).
inline bool minv(double* a, int n) {
  for (int k = 1; k <= n; ++k) at(a, k, k) = at(a, k, k) + 1.0;
  for (int i = 1; i <= n; ++i) {
    const double p = at(a, i, i) - 1.0;
    if (std::fabs(p) < PivotLimit) return false;
    const double q = 1.0 / p;
    for (int k = 1; k <= n; ++k) at(a, i, k) = q * at(a, i, k);
    for (int r = 1; r <= n; ++r) {
      if (r == i) continue;
      const double f = at(a, r, i);
      for (int k = 1; k <= n; ++k) at(a, r, k) = at(a, r, k) - f * at(a, i, k);
    }
  }
  for (int k = 1; k <= n; ++k) at(a, k, k) = at(a, k, k) - 1.0;
  return true;
}

inline bool minv(TraitMatrix& a, int n) { return minv(a.a.data(), n); }

// C(1..l, 1..n) := A(1..l, 1..m) x B(1..m, 1..n), cleared first.
inline void mpro(const double* a, const double* b, double* c, int l, int m, int n) {
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= l; ++i) at(c, i, j) = 0.0;
  for (int j = 1; j <= n; ++j) {
    for (int k = 1; k <= m; ++k) {
      const double bkj = at(b, k, j);
      for (int i = 1; i <= l; ++i) at(c, i, j) = at(c, i, j) + at(a, i, k) * bkj;
    }
  }
}

}  // namespace vcshrink::reference
