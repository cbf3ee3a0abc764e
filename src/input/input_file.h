// Reading the input file: the title line, the number of traits and the lower triangles
// of the genetic, residual and (optimized procedure) prior matrices, each mirrored.
#pragma once

#include "run/run_state.h"
#include "input/line_source.h"

namespace vcshrink {

// Reads title, nt, G, R and, when s.proc is 1, PRIOR from file; then copies every lower
// triangle into its upper one. Ends the run with a diagnostic on a missing or unreadable
// value, and on a number of traits outside 1..MaxTraits before any matrix is read.
void read_input_file(RunState& s, LineSource& file);

}  // namespace vcshrink
