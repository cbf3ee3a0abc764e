#include "driver/run.h"

#include <unistd.h>

#include <cfenv>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "bending/bending.h"
#include "bending/definiteness.h"
#include "bending/plausibility.h"
#include "driver/output_files.h"
#include "dialogue/dialogue.h"
#include "input/diagnostics.h"
#include "input/input_file.h"
#include "plot/plot.h"
#include "report/report_values.h"
#include "report/report_writer.h"
#include "summary/summary.h"

namespace vcshrink {
namespace {

extern "C" void end_on_signal(int sig) {
  remove_unfinished_replacement();
  // The signal is held while its handler runs: with its usual action back it ends the
  // process on return, with the status a shell shows for it.
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

}  // namespace

void install_signal_handlers() {
  std::signal(SIGXFSZ, SIG_IGN);
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    struct sigaction act {};
    act.sa_handler = end_on_signal;
    sigemptyset(&act.sa_mask);
    act.sa_flags = SA_RESTART;
    ::sigaction(sig, &act, nullptr);
  }
}

namespace {

// The summary and the picture, each asked for on the command line, after the report.
// Neither may replace the input file, the report or (the picture) the summary.
void write_extra_files(const Run& run) {
  const RunState& s = run.state;
  std::vector<KeptFile> kept{{s.infile, "the input file"}, {s.outfile, "the report file"}};
  if (!run.options.summary.empty()) {
    write_output_file(run.options.summary, summary_json(s, ProgramVersion), "summary file", kept);
    kept.push_back({run.options.summary, "the summary file"});
  }
  if (!run.options.plot.empty()) write_output_file(run.options.plot, plot_svg(s), "plot file", kept);
}

}  // namespace

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
  // What the matrices as read probably got wrong, said before the next question.
  if (s.proc == 1) warn_prior_ranges(s, run.warnings);
  warn_units(s, run.warnings);
  if (s.proc == 1) ask_weights(s, run.screen, run.keyboard, run.warnings);

  check_residual_definiteness(s, run.warnings);
  prepare_covariances(s);
  if (s.proc == 2) {
    run_fixed_procedure(s);
  } else {
    optimize_bending(s);
  }
  check_bent_definiteness(s, run.warnings);
  prepare_report(s);

  // The whole report is formed first and then replaces the file's content in one go,
  // so that a run that fails on the way leaves an older report as it was.
  // Its buffer is reserved once: a 30-trait report is about 45 KB.
  std::string report;
  report.reserve(std::size_t{1} << 16);
  StringSink sink(report, "\r\n");
  RecordWriter writer(sink);
  write_report(s, writer);
  run.report.replace_content(report);
  write_extra_files(run);

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
