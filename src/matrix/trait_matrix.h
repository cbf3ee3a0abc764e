// Fixed-capacity storage for the (co)variance matrices and trait vectors of a run.
// A TraitMatrix is always 30 x 30, column-major, 30 rows per column whatever the
// number of traits; only the leading nt x nt block carries meaning. Indices from 1.
#pragma once

#include <array>
#include <cstddef>

namespace vcshrink {

inline constexpr int MaxTraits = 30;

struct TraitMatrix {
  std::array<double, MaxTraits * MaxTraits> a{};

  // Element (i, j), 1-based: (i - 1) + 30 (j - 1) elements after element (1, 1).
  double& operator()(int i, int j) { return a[static_cast<std::size_t>((i - 1) + MaxTraits * (j - 1))]; }
  double operator()(int i, int j) const { return a[static_cast<std::size_t>((i - 1) + MaxTraits * (j - 1))]; }
};

struct TraitVector {
  std::array<double, MaxTraits> v{};

  double& operator()(int i) { return v[static_cast<std::size_t>(i - 1)]; }
  double operator()(int i) const { return v[static_cast<std::size_t>(i - 1)]; }
};

// A full additive genetic variance below this counts as zero; genetic variances
// are raised to it for the aggregate-genotype scale factors.
inline constexpr double MinVariance = 1e-06;

// The single-precision value nearest to 1e-8, widened: minv's absolute pivot limit.
inline constexpr double PivotLimit = 9.99999993922529e-09;

}  // namespace vcshrink
