// Test helper: symmetric matrices written as the rows of their lower triangle.
#pragma once

#include <initializer_list>

#include "matrix/trait_matrix.h"

namespace vcshrink::testing {

using Rows = std::initializer_list<std::initializer_list<double>>;

// Fills the lower triangle of m from rows and mirrors it.
inline void set_lower(TraitMatrix& m, Rows rows) {
  int i = 1;
  for (const auto& row : rows) {
    int j = 1;
    for (double x : row) {
      m(i, j) = x;
      m(j, i) = x;
      ++j;
    }
    ++i;
  }
}

}  // namespace vcshrink::testing
