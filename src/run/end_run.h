// How a run ends. Every end of a run - the normal end after the report, a matrix
// that cannot be inverted, a diagnostic of input or output - throws RunEnd through
// end_run; main catches it and finishes the run in one place (finish_run).
#pragma once

#include <string>
#include <utility>

namespace vcshrink {

// The process exit status of a run.
enum class ExitStatus : int {
  ReportWritten = 0,   // the report was written
  InputOutput = 1,     // a problem with input or output; a diagnostic was shown
  SingularMatrix = 2,  // a matrix could not be inverted ("matrix singulaer!")
  NoFactor = 3,        // the optimized procedure could not choose a bending factor
};

struct RunEnd {
  ExitStatus status = ExitStatus::ReportWritten;
  // A record shown on the console before the run ends (one skipped place, then this text).
  std::string console_notice;
  // One line for the standard error stream, naming the problem; empty for none.
  std::string diagnostic;
};

// Ends the run: never returns. The caller's files are closed and the end-of-run
// lines written by finish_run in main.
[[noreturn]] inline void end_run(ExitStatus status, std::string diagnostic = {}, std::string console_notice = {}) {
  throw RunEnd{status, std::move(console_notice), std::move(diagnostic)};
}

// Ends the run on a matrix that cannot be inverted. "singulaer" is misspelt on
// purpose: users and their scripts look for the message exactly as it has always read.
[[noreturn]] inline void end_singular_matrix(std::string diagnostic = {}) {
  end_run(ExitStatus::SingularMatrix, std::move(diagnostic), "matrix singulaer!");
}

}  // namespace vcshrink
