// A run at an interactive console: on a terminal the program waits for Enter after
// the end-of-run lines, and ends only when it comes; a typo is shown and asked again.
#include <poll.h>
#include <pty.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <fstream>
#include <string>
#include <thread>

#include "run_program.h"

namespace vcshrink::testing {
namespace {

// Reads from fd until text has appeared or the time is up; returns everything read.
std::string read_until(int fd, const std::string& text, std::chrono::milliseconds limit) {
  std::string seen;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (seen.find(text) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buf[512];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) break;
    seen.append(buf, static_cast<std::size_t>(n));
  }
  return seen;
}

// Watches process pid until it blocks in a read of its standard input (the kernel's
// record of the system call it is blocked in names read, then descriptor 0) or
// exits (left for the caller to collect), for at most the given time; says which came.
std::string wait_for_input_read(pid_t pid, std::chrono::milliseconds limit) {
  const std::string syscall_file = "/proc/" + std::to_string(pid) + "/syscall";
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream f(syscall_file);
    std::string number, first_argument;
    if (f >> number >> first_argument && number == std::to_string(SYS_read) && first_argument == "0x0") {
      return "reading its standard input";
    }
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) {
      return "ended";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return "neither ended nor read its standard input in time";
}

// Starts the program in dir on a new pseudo-terminal whose other side is master; the
// process id, or -1 when none could be started.
pid_t start_on_terminal(const TempDir& dir, int& master) {
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    if (::chdir(dir.path().c_str()) != 0) ::_exit(127);
    ::execl(program_under_test(), program_under_test(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

TEST(Interactive, WaitsForEnterOnATerminal) {
  TempDir dir;
  write_file(dir / "two.dat", "Two traits\n2\n0.30\n0.10 0.20\n0.70\n0.15 0.80\n");
  int master = -1;
  const pid_t pid = start_on_terminal(dir, master);
  ASSERT_GE(pid, 0);
  const std::string answers = "two.dat\nreport.txt\n1\n2\n0.3\n";
  ASSERT_EQ(::write(master, answers.data(), answers.size()), static_cast<ssize_t>(answers.size()));
  const std::string shown = read_until(master, "Press Enter to Continue.", std::chrono::seconds(20));
  EXPECT_NE(shown.find("Program Completed"), std::string::npos) << shown;

  // Everything is shown; the program must now be blocked reading the Enter, not ending.
  EXPECT_EQ(wait_for_input_read(pid, std::chrono::seconds(20)), "reading its standard input");

  int status = 0;
  ASSERT_EQ(::write(master, "\n", 1), 1);
  read_until(master, "\x04", std::chrono::seconds(5));  // drain until the terminal closes
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ::close(master);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(read_file(dir / "report.txt").find("Used bending factor:  0.300"), std::string::npos);
}

// How often text occurs in seen.
std::size_t occurrences(const std::string& seen, const std::string& text) {
  std::size_t n = 0;
  for (std::size_t at = seen.find(text); at != std::string::npos; at = seen.find(text, at + text.size())) ++n;
  return n;
}

// Reads from fd into seen until text occurs times times in it or the time is up.
bool wait_for(int fd, std::string& seen, const std::string& text, std::size_t times,
              std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (occurrences(seen, text) < times) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    char buf[512];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) return false;
    seen.append(buf, static_cast<std::size_t>(n));
  }
  return true;
}

TEST(Interactive, ATypoShowsWhatIsWrongAndTheSameQuestionAgain) {
  TempDir dir;
  write_file(dir / "two.dat", "Two traits\n2\n0.30\n0.10 0.20\n0.70\n0.15 0.80\n");
  int master = -1;
  const pid_t pid = start_on_terminal(dir, master);
  ASSERT_GE(pid, 0);
  const auto type = [&](const std::string& keys) {
    ASSERT_EQ(::write(master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  };
  const std::string prompt = "cr?           -->  ";
  const std::string why = "    expected a number, found \"0.3x\"";
  std::string seen;
  type("two.dat\nreport.txt\n");
  ASSERT_TRUE(wait_for(master, seen, prompt, 1)) << seen;
  type("0.3x\n");
  ASSERT_TRUE(wait_for(master, seen, prompt, 2)) << seen;
  const std::size_t shown_why = seen.find(why);
  ASSERT_NE(shown_why, std::string::npos) << seen;
  EXPECT_NE(seen.find("Coefficient of relationship (cr)?", shown_why), std::string::npos) << seen;
  EXPECT_EQ(occurrences(seen, "Program Completed"), 0u) << seen;

  type(".25\n2\n0.3\n");
  ASSERT_TRUE(wait_for(master, seen, "Press Enter to Continue.", 1)) << seen;
  type("\n");
  wait_for(master, seen, "\x04", 1, std::chrono::seconds(5));  // drain until the terminal closes
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ::close(master);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << seen;
  EXPECT_NE(read_file(dir / "report.txt").find("Selected coefficient of relationship:  0.25"), std::string::npos);
}

}  // namespace
}  // namespace vcshrink::testing
