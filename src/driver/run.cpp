#include "driver/run.h"

#include <unistd.h>

#include <cfenv>

namespace vcshrink {

void run_steps(Run& run) {
  (void)run;
  // Start-up: IEEE double arithmetic, round to nearest, every exception masked.
  std::fesetenv(FE_DFL_ENV);
  std::fesetround(FE_TONEAREST);

  end_run(ExitStatus::ReportWritten);
}

int finish_run(Run& run, const RunEnd& end) {
  if (!end.console_notice.empty()) run.screen.write({skip(1), lit(end.console_notice)});
  run.console.end_line();
  if (!end.diagnostic.empty()) run.console.error_line(end.diagnostic);
  run.console.error_line("Program Completed");
  run.console.error_line("Press Enter to Continue.");
  if (::isatty(::fileno(run.keyboard)) && ::isatty(STDERR_FILENO)) {
    int c;
    while ((c = std::fgetc(run.keyboard)) != EOF && c != '\n') {
    }
  }
  return static_cast<int>(end.status);
}

}  // namespace vcshrink
