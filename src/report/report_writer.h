// The report: the echo of the input, the parameters before bending, the bending
// summary, the adjusted matrices and the parameters after bending, written record
// by record in one pass. The caller decides where the records go.
#pragma once

#include "run/run_state.h"
#include "records/record_writer.h"

namespace vcshrink {

// Writes the whole report to out; sets cr_echo, bf_used for the fixed procedure,
// and derives PAR and nzero on the way.
void write_report(RunState& s, RecordWriter& out);

}  // namespace vcshrink
