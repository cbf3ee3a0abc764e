// Checks of the matrices as read that find a probable mistake before the bending:
// prior values outside their range and variances in units far from 1, each a warning;
// and the causes the optimized search can name when it cannot choose a factor.
#pragma once

#include <string>

#include "run/run_state.h"
#include "run/warnings.h"

namespace vcshrink {

// Phenotypic variances G(i,i) + R(i,i) from MinStableVariance to MaxStableVariance give
// the same printed digits and the same chosen factor whatever the units: the inverse
// works with an absolute pivot limit and on 1 + the diagonal, so far from 1 they change.
inline constexpr double MinStableVariance = 1e-4;
inline constexpr double MaxStableVariance = 1e7;

// One warning per prior heritability outside 0..1 and per prior genetic correlation
// outside -1..1, naming the traits. Reads nt and PRIOR (optimized procedure).
void warn_prior_ranges(const RunState& s, Warnings& warnings);

// One warning per trait whose phenotypic variance G(i,i) + R(i,i) is positive but
// outside the stable range, with the power of ten by which to change its units.
void warn_units(const RunState& s, Warnings& warnings);

// Why no grid score could be chosen, for the end of the run: every trait weight zero;
// a prior heritability of zero or below; prior values out of range. When none of these
// holds, says in general terms that every score is undefined (all NaN) or none exceeds
// the start of the selection.
std::string no_factor_reason(const RunState& s);

}  // namespace vcshrink
