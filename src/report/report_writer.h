// The report: the echo of the input, the parameters before bending, the bending
// summary, the adjusted matrices and the parameters after bending, rendered record
// by record in one pass from a finished run. The caller decides where the records go.
#pragma once

#include "run/run_state.h"
#include "records/record_writer.h"

namespace vcshrink {

// Writes the whole report to out. Reads the run as the procedure and prepare_report
// leave it (bf_used, cr_echo, PAR and nzero formed); changes nothing in it.
void write_report(const RunState& s, RecordWriter& out);

}  // namespace vcshrink
