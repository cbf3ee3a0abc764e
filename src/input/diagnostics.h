// Diagnostics of failed reads: one line naming the source, the line, what was expected
// and what was found, and the end of the run that follows it (exit status 1).
#pragma once

#include <string>
#include <string_view>

#include "input/line_source.h"
#include "input/reading.h"

namespace vcshrink {

// text in double quotes, control and non-ASCII bytes escaped as \xNN, cut after 40 bytes.
std::string quote_found(std::string_view text);

// The ignored rest of a line for a warning: without its leading and trailing blanks and
// tabs, then quoted as quote_found.
std::string quote_rest(std::string_view rest);

// A file name for a diagnostic: as typed, with control bytes escaped as \xNN.
std::string display_name(std::string_view name);

// Where a diagnostic or a warning points: "NAME, line N", or the source's name alone
// for line 0.
std::string place(const LineSource& source, long line);

// What is wrong with the answer or value of a read r that failed on its form (a
// ReadError from NotANumber on): the diagnostic without its place.
std::string read_problem(const ReadResult& r);

// True when r failed on the form of what was typed, so that the source can go on:
// not its end and not a failed or overlong line.
bool failed_on_form(const ReadResult& r);

// The diagnostic for a failed read r of source. unfinished names what the read was for,
// worded to follow "ends before", e.g. "the residual matrix is complete".
std::string read_diagnostic(const LineSource& source, const ReadResult& r, std::string_view unfinished);

// Ends the run with read_diagnostic and ExitStatus::InputOutput.
[[noreturn]] void end_run_on_read_error(const LineSource& source, const ReadResult& r, std::string_view unfinished);

// Returns when r succeeded, else ends the run as end_run_on_read_error.
inline void check_read(const LineSource& source, const ReadResult& r, std::string_view unfinished) {
  if (!r.ok()) end_run_on_read_error(source, r, unfinished);
}

}  // namespace vcshrink
