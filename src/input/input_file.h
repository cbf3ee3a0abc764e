// Reading the input file: the title line, the number of traits and the lower triangles
// of the genetic, residual and (optimized procedure) prior matrices, each mirrored.
#pragma once

#include "run/run_state.h"
#include "run/warnings.h"
#include "input/line_source.h"

namespace vcshrink {

// Reads title, nt, G, R and, when s.proc is 1, PRIOR from file; then copies every lower
// triangle into its upper one. Ends the run with a diagnostic on a missing or unreadable
// value, and on a number of traits outside 1..MaxTraits before any matrix is read. Warns
// where numbers follow a block on its last line or, for PRIOR, on a later line.
void read_input_file(RunState& s, LineSource& file, Warnings& warnings);

}  // namespace vcshrink
