// The picture of a run: the eigenvalues of R^-1 G before and after bending and, for the
// optimized procedure, the score of every bending factor with the chosen one and the
// positive definite region, as one self-contained SVG document.
#pragma once

#include <string>

#include "run/run_state.h"

namespace vcshrink {

// The SVG of a run whose report has been written (bf_used is set). No scripts, no
// external references; every coordinate is written with a fixed number of decimals so
// that the bytes do not depend on the build.
std::string plot_svg(const RunState& s);

}  // namespace vcshrink
