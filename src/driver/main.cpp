// vcshrink: bends an additive genetic (co)variance matrix toward a multiple of the
// residual matrix and reports the matrices and genetic parameters before and after.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include "driver/run.h"

int main(int argc, char** argv) {
  // A standard stream closed at start-up would lend its descriptor to the input or the
  // report file, and the console's text would be written into that file: each closed
  // one is opened on /dev/null first (open takes the lowest free descriptor).
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      const int null_fd = ::open("/dev/null", O_RDWR);
      if (null_fd > 2) ::close(null_fd);
    }
  }
  // A closed standard output must not kill the run before its files are closed.
  std::signal(SIGPIPE, SIG_IGN);
  // The command line is read before the first prompt: --help, --version and a wrong
  // option end the program here, without a dialogue.
  const vcshrink::ParsedOptions parsed = vcshrink::parse_options(argc, argv, vcshrink::ProgramVersion);
  if (!parsed.run) {
    std::fputs(parsed.out.c_str(), stdout);
    std::fputs(parsed.err.c_str(), stderr);
    return std::fflush(stdout) == 0 || parsed.status != 0 ? parsed.status : 1;
  }
  vcshrink::install_signal_handlers();
  // The run record holds every matrix of the run (over 100 kilobytes): static
  // storage rather than the stack, allocated once before the run starts.
  static vcshrink::Run run(stdin, stdout, stderr);
  run.options = parsed.options;
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
