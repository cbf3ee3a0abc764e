// vcshrink: bends an additive genetic (co)variance matrix toward a multiple of the
// residual matrix and reports the matrices and genetic parameters before and after.
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include "driver/run.h"

int main() {
  // A closed standard output must not kill the run before its files are closed.
  std::signal(SIGPIPE, SIG_IGN);
  static vcshrink::Run run(stdin, stdout, stderr);
  try {
    vcshrink::run_steps(run);
  } catch (const vcshrink::RunEnd& end) {
    return vcshrink::finish_run(run, end);
  } catch (const std::exception& e) {
    // Memory or the library failing: the run still ends in order, its files closed and
    // no report claimed.
    return vcshrink::finish_run(run, {vcshrink::ExitStatus::InputOutput, {}, std::string("vcshrink: ") + e.what()});
  }
}
