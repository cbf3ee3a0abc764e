#include "driver/run.h"

#include <unistd.h>

#include <cfenv>
#include <cstring>
#include <string>

#include "bending/bending.h"
#include "dialogue/dialogue.h"
#include "input/diagnostics.h"
#include "input/input_file.h"
#include "report/report_writer.h"

namespace vcshrink {

void run_steps(Run& run) {
  // Start-up: IEEE double arithmetic, round to nearest, every exception masked.
  std::fesetenv(FE_DFL_ENV);
  std::fesetround(FE_TONEAREST);

  // A person at a terminal, who sees the error stream too, can answer again after a typo.
  run.keyboard.set_interactive(run.keyboard.file() != nullptr && ::isatty(::fileno(run.keyboard.file())) &&
                               ::isatty(STDERR_FILENO));

  RunState& s = run.state;
  ask_file_names(s, run.screen, run.keyboard);
  open_files(s, run.screen, run.keyboard, run.input, run.report);
  ask_relationship(s, run.screen, run.keyboard, run.warnings);
  ask_procedure(s, run.screen, run.keyboard, run.warnings);
  read_input_file(s, run.input.lines(), run.warnings);
  if (s.proc == 1) ask_weights(s, run.screen, run.keyboard, run.warnings);

  prepare_covariances(s);
  if (s.proc == 2) {
    run_fixed_procedure(s);
  } else {
    optimize_bending(s);
  }

  // The whole report is formed first and then replaces the file's content in one go,
  // so that a run that fails on the way leaves an older report as it was.
  // Its buffer is reserved once: a 30-trait report is about 45 KB.
  std::string report;
  report.reserve(std::size_t{1} << 16);
  StringSink sink(report, "\r\n");
  RecordWriter writer(sink);
  write_report(s, writer);
  run.report.replace_content(report);

  end_run(ExitStatus::ReportWritten);
}

int finish_run(Run& run, const RunEnd& end) {
  if (!end.console_notice.empty()) run.screen.write({skip(1), lit(end.console_notice)});
  run.console.end_line();
  ExitStatus status = end.status;
  run.input.close();
  // A report that was written may still be lost when closing fails (on a network
  // file system, for one): the run has then not written its report.
  const bool written = run.report.written();
  const int close_error = run.report.close();
  std::string close_diagnostic;
  if (written && close_error != 0 && status == ExitStatus::ReportWritten) {
    status = ExitStatus::InputOutput;
    close_diagnostic =
        display_name(run.report.name()) + ": cannot close the report file: " + std::strerror(close_error);
  }
  if (!end.diagnostic.empty()) run.console.error_line(end.diagnostic);
  if (!close_diagnostic.empty()) run.console.error_line(close_diagnostic);
  run.console.error_line("Program Completed");
  run.console.error_line("Press Enter to Continue.");
  if (run.keyboard.file() != nullptr && ::isatty(::fileno(run.keyboard.file())) && ::isatty(STDERR_FILENO)) {
    run.keyboard.next_line();  // whatever is typed before Enter is ignored
  }
  return static_cast<int>(status);
}

}  // namespace vcshrink
