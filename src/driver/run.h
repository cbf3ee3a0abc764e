// One run of the program: its state, its console and its files, the steps in their
// fixed order, and finish_run, the one place where every run ends.
#pragma once

#include <cstdio>

#include "driver/options.h"
#include "run/end_run.h"
#include "run/run_state.h"
#include "input/files.h"
#include "input/line_source.h"
#include "records/console.h"
#include "records/record_writer.h"
#include "run/warnings.h"

namespace vcshrink {

// Warnings go to the standard error stream, after the open console line is ended.
class ConsoleWarnings final : public Warnings {
 public:
  explicit ConsoleWarnings(Console& console) : console_(console) {}
  void line(const std::string& text) override { console_.error_line(text); }

 private:
  Console& console_;
};

// The program's version, as the build gives it.
inline constexpr const char* ProgramVersion = VCSHRINK_VERSION;

struct Run {
  Run(std::FILE* in, std::FILE* out, std::FILE* err)
      : keyboard(in, "standard input", LineSource::Kind::Console), console(out, err) {}

  Options options;  // from the command line, before the dialogue
  RunState state;
  LineSource keyboard;  // the lines of the standard input
  Console console;
  RecordWriter screen{console};
  ConsoleWarnings warnings{console};
  InputFile input;    // open from open_files on
  ReportFile report;  // open from open_files on; written only by the report
};

// Sets how signals act on a run: a file-size limit makes a write fail (EFBIG) instead of
// killing the process; SIGINT, SIGTERM and SIGHUP remove an unfinished temporary report
// file and then end the process as they would have; a signal ignored at start stays so.
void install_signal_handlers();

// Runs every step of a run in order; returns only by throwing RunEnd.
[[noreturn]] void run_steps(Run& run);

// Ends a run: shows its console notice, ends the open console line, closes the
// files, writes the diagnostic and the two end-of-run lines on the error stream,
// waits for Enter on an interactive console, and returns the exit status.
int finish_run(Run& run, const RunEnd& end);

}  // namespace vcshrink
