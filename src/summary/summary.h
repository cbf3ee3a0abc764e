// The run summary: every number a run formed, in full precision, as one JSON document
// for other programs (R, Python, a spreadsheet) to read instead of the rounded report.
#pragma once

#include <string>
#include <string_view>

#include "run/run_state.h"

namespace vcshrink {

// The summary of a run whose report has been written (PAR, nzero and bf_used are set).
// Doubles in their shortest round-trip form, NaN and infinities as null; invalid UTF-8
// in the title shows as U+FFFD. Ends with a line feed.
std::string summary_json(const RunState& s, std::string_view version);

}  // namespace vcshrink
