// Run states for the bending tests: matrices given as lower-triangle rows as in an
// input file, mirrored, with the coefficient of relationship and trait weights.
#pragma once

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "run/run_state.h"
#include "matrix_fixture.h"

namespace vcshrink::testing {

// An optimized-procedure state (proc 1); weights default to 1.0 each.
inline RunState make_state(Rows g, Rows r, Rows prior, double coefficient, std::vector<double> weights = {}) {
  RunState s;
  s.proc = 1;
  s.nt = static_cast<std::int32_t>(g.size());
  s.cr = 1.0 / coefficient;
  set_lower(s.G, g);
  set_lower(s.R, r);
  set_lower(s.PRIOR, prior);
  for (int i = 1; i <= s.nt; ++i) s.W(i) = weights.empty() ? 1.0 : weights[static_cast<std::size_t>(i - 1)];
  return s;
}

inline std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

}  // namespace vcshrink::testing
