// What a failed, interrupted or concurrent run leaves of the report file, and input
// files that are not regular files: a FIFO, a device, the standard input's own file.
// Every child process here is bounded in time and killed when it overstays.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "driver/run.h"
#include "input/files.h"
#include "run/end_run.h"
#include "run_end.h"
#include "run_program.h"

namespace vcshrink::testing {
namespace {

namespace fs = std::filesystem;

const fs::path cases_dir = fs::path(VCSHRINK_SOURCE_DIR) / "tests" / "e2e" / "cases";
const std::string old_report = "an old report\r\n";

// How a child process ended: its exit status, the signal that ended it, or neither when
// it overstayed its time and was killed.
struct Ending {
  int status = -1;
  int signal = 0;
  bool timed_out = false;
};

// Waits for pid at most seconds, then kills it.
Ending wait_bounded(pid_t pid, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  Ending e;
  int ws = 0;
  for (;;) {
    const pid_t r = ::waitpid(pid, &ws, WNOHANG);
    if (r == pid) break;
    if (r < 0) return e;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &ws, 0);
      e.timed_out = true;
      return e;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (WIFEXITED(ws)) e.status = WEXITSTATUS(ws);
  if (WIFSIGNALED(ws)) e.signal = WTERMSIG(ws);
  return e;
}

// Starts the program in dir with its standard input read from stdin_path, its output
// streams in dir/.stdout and dir/.stderr; before the program starts, setup runs in the
// child (a resource limit, for one).
pid_t start_program(const fs::path& dir, const fs::path& stdin_path, const std::function<void()>& setup = {}) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(127);
    const int fi = ::open(stdin_path.c_str(), O_RDONLY);
    const int fo = ::open(".stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int fe = ::open(".stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fi < 0 || fo < 0 || fe < 0) ::_exit(127);
    ::dup2(fi, 0);
    ::dup2(fo, 1);
    ::dup2(fe, 2);
    if (setup) setup();
    const char* exe = program_under_test();
    ::execl(exe, exe, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

// A scratch directory holding a copy of a golden case's files (without its answers and
// expectations) and the answers in dir/answers.
struct CaseDir {
  TempDir dir;
  explicit CaseDir(const std::string& name, const std::string& answers) {
    for (const auto& e : fs::directory_iterator(cases_dir / name)) {
      const std::string n = e.path().filename().string();
      if (n != "stdin" && n.rfind("expected", 0) != 0) fs::copy(e.path(), dir / n);
    }
    write_file(dir / "answers", answers);
  }
  fs::path operator/(const std::string& n) const { return dir / n; }
  // The names in the directory other than the answers, the case's files and the output
  // streams: what a run left behind besides the report.
  std::string left_behind(const std::string& report) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) {
      const std::string n = e.path().filename().string();
      if (n == report || n == "answers" || n == ".stdout" || n == ".stderr" || n.ends_with(".dat")) continue;
      names.push_back(n);
    }
    std::sort(names.begin(), names.end());
    std::string out;
    for (const auto& n : names) out.append(n).push_back(' ');
    return out;
  }
};

const std::string nt25_fixed = "nt25.dat\nreport.txt\n1\n2\n0.3\n";
const std::string nt25_optimized = "nt25.dat\nreport.txt\n1\n1\n1\n";

// The report a whole run writes with these answers.
std::string report_of(const std::string& answers) {
  CaseDir c("nt25-optimized", answers);
  EXPECT_EQ(wait_bounded(start_program(c.dir.path(), c / "answers"), 60).status, 0);
  return read_file(c / "report.txt");
}

TEST(ReportSafety, AFileSizeLimitBelowTheReportGivesADiagnosticAndKeepsTheOldReport) {
  CaseDir c("nt25-optimized", nt25_optimized);
  write_file(c / "report.txt", old_report);
  const pid_t pid = start_program(c.dir.path(), c / "answers", [] {
    const rlimit small{10000, 10000};  // the report is 32,008 bytes
    ::setrlimit(RLIMIT_FSIZE, &small);
  });
  const Ending e = wait_bounded(pid, 60);
  EXPECT_EQ(e.signal, 0);
  EXPECT_EQ(e.status, 1);
  EXPECT_EQ(read_file(c / ".stderr"),
            "report.txt: cannot write the report file: File too large\nProgram Completed\nPress Enter to Continue.\n");
  EXPECT_EQ(read_file(c / "report.txt"), old_report);
  EXPECT_EQ(c.left_behind("report.txt"), "");
}

// In a child process: replaces report.txt in dir by bytes, written 4 KiB at a time, and
// raises sig at the n-th step of the replacement (temporary file made, each write, flush,
// rename), the signal handlers of a run installed.
int steps_seen = 0, step_to_stop = 0, stop_signal = 0;
ssize_t four_kib_writes(int fd, const void* bytes, std::size_t n) {
  return ::write(fd, bytes, std::min<std::size_t>(n, 4096));
}
void stop_at_step() {
  if (++steps_seen == step_to_stop) ::raise(stop_signal);
}

Ending replace_stopped_at(const fs::path& dir, const std::string& bytes, int n, int sig) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    install_signal_handlers();
    step_to_stop = n;
    stop_signal = sig;
    replacement_seams().write_call = four_kib_writes;
    replacement_seams().step_done = stop_at_step;
    ReportFile f;
    const std::string name = (dir / "report.txt").string();
    f.attach(open_file(name), name);
    if (run_end_of([&] { f.replace_content(bytes); })) ::_exit(1);
    ::_exit(f.close());
  }
  return wait_bounded(pid, 30);
}

TEST(ReportSafety, ARunEndedAtAnyStepOfTheReplacementLeavesTheOldOrTheWholeNewReport) {
  const std::string report = report_of(nt25_optimized);
  ASSERT_EQ(report.size(), 32008u);
  // 1 temporary file + 8 writes + flush + rename = 11 steps; the 12th is never reached.
  for (const int sig : {SIGKILL, SIGTERM, SIGINT}) {
    bool saw_new = false;
    for (int n = 1; n <= 12; ++n) {
      TempDir dir;
      write_file(dir / "report.txt", old_report);
      const Ending e = replace_stopped_at(dir.path(), report, n, sig);
      ASSERT_FALSE(e.timed_out);
      EXPECT_EQ(e.signal, n <= 11 ? sig : 0) << "signal " << sig << ", step " << n;
      const std::string now = read_file(dir / "report.txt");
      EXPECT_TRUE(now == old_report || now == report) << "signal " << sig << ", step " << n << ": " << now.size();
      // The new report is in place exactly from the rename on.
      EXPECT_EQ(now == report, n >= 11) << "signal " << sig << ", step " << n;
      saw_new = saw_new || now == report;
      // SIGKILL cannot be caught: the temporary file it leaves is harmless; the others remove it.
      std::size_t files = 0;
      for (const auto& entry : fs::directory_iterator(dir.path())) files += entry.is_regular_file() ? 1 : 0;
      if (sig != SIGKILL) {
        EXPECT_EQ(files, 1u) << "signal " << sig << ", step " << n;
      }
    }
    EXPECT_TRUE(saw_new);
  }
}

TEST(ReportSafety, TheProgramStoppedAfterRandomDelaysLeavesTheOldOrTheWholeNewReport) {
  const std::string report = report_of(nt25_optimized);
  // How long a run takes here: the delays spread over it and a little beyond.
  const auto t0 = std::chrono::steady_clock::now();
  report_of(nt25_optimized);
  const double run_us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
  std::mt19937 random(12345);
  std::uniform_real_distribution<double> delay(0.0, 1.3 * run_us);
  for (int i = 0; i < 40; ++i) {
    const int sig = i % 2 == 0 ? SIGKILL : SIGTERM;
    CaseDir c("nt25-optimized", nt25_optimized);
    write_file(c / "report.txt", old_report);
    const pid_t pid = start_program(c.dir.path(), c / "answers");
    std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long>(delay(random))));
    ::kill(pid, sig);
    const Ending e = wait_bounded(pid, 60);
    ASSERT_FALSE(e.timed_out);
    const std::string now = read_file(c / "report.txt");
    EXPECT_TRUE(now == old_report || now == report) << i << ": " << now.size() << " bytes";
    if (sig == SIGTERM) {
      EXPECT_EQ(c.left_behind("report.txt"), "") << i;
    }
  }
}

TEST(ReportSafety, TwoRunsWritingOneReportAtOnceLeaveOneWholeReportOfEither) {
  const std::string fixed = report_of(nt25_fixed), optimized = report_of(nt25_optimized);
  ASSERT_NE(fixed, optimized);
  for (int i = 0; i < 6; ++i) {
    CaseDir c("nt25-optimized", nt25_fixed);
    write_file(c / "optimized", nt25_optimized);
    write_file(c / "report.txt", old_report);
    fs::create_directory(c / "second");  // the second run's output streams
    const pid_t a = start_program(c.dir.path(), c / "answers");
    const pid_t b = start_program(c.dir.path(), c / "optimized", [] {
      ::dup2(::open("second/.stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
      ::dup2(::open("second/.stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    });
    EXPECT_EQ(wait_bounded(a, 60).status, 0);
    EXPECT_EQ(wait_bounded(b, 60).status, 0);
    const std::string now = read_file(c / "report.txt");
    EXPECT_TRUE(now == fixed || now == optimized) << now.size() << " bytes";
    EXPECT_EQ(c.left_behind("report.txt"), "optimized second ");
  }
}

// Runs the program on the nt25 case with its input file a FIFO whose writer writes
// content and closes it; the writer gives up after 20 s if the program never opens it.
ProgramResult run_with_fifo_input(const std::string& content, std::string& report) {
  CaseDir c("nt25-optimized", nt25_optimized);
  fs::remove(c / "nt25.dat");
  EXPECT_EQ(::mkfifo((c / "nt25.dat").c_str(), 0600), 0);
  const pid_t writer = ::fork();
  if (writer == 0) {
    ::alarm(20);
    const int fd = ::open((c / "nt25.dat").c_str(), O_WRONLY);
    if (fd < 0) ::_exit(1);
    for (std::size_t done = 0; done < content.size();) {
      const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
      if (n <= 0) ::_exit(1);
      done += static_cast<std::size_t>(n);
    }
    ::_exit(::close(fd) == 0 ? 0 : 1);
  }
  const Ending e = wait_bounded(start_program(c.dir.path(), c / "answers"), 30);
  EXPECT_FALSE(e.timed_out) << "the program waited for ever on its input";
  EXPECT_EQ(wait_bounded(writer, 30).status, 0);
  report = read_file(c / "report.txt");
  return {read_file(c / ".stdout"), read_file(c / ".stderr"), e.status};
}

TEST(ReportSafety, AFifoAsTheInputFileIsReadToItsEnd) {
  const std::string input = read_file(cases_dir / "nt25-optimized" / "nt25.dat");
  std::string report;
  const ProgramResult whole = run_with_fifo_input(input, report);
  EXPECT_EQ(whole.status, 0) << whole.err;
  EXPECT_EQ(report, read_file(cases_dir / "nt25-optimized" / "expected.files" / "report.txt"));

  // A writer that stops early: the diagnostic of a file that ends there.
  const std::string part = input.substr(0, input.size() / 2);
  const ProgramResult early = run_with_fifo_input(part, report);
  CaseDir c("nt25-optimized", nt25_optimized);
  write_file(c / "nt25.dat", part);
  EXPECT_EQ(wait_bounded(start_program(c.dir.path(), c / "answers"), 30).status, 1);
  EXPECT_EQ(early.status, 1);
  EXPECT_EQ(early.err, read_file(c / ".stderr"));
  EXPECT_NE(early.err.find("nt25.dat, line"), std::string::npos) << early.err;
  EXPECT_EQ(report, "");
}

TEST(ReportSafety, TheFileTheAnswersComeFromIsRefusedAsTheReport) {
  const std::string answers = "two-traits.dat\n/dev/stdin\n1\n2\n0.3\n";
  // From a file and from a pipe.
  for (const bool pipe : {false, true}) {
    CaseDir c("two-traits-fixed", answers);
    fs::path source = c / "answers";
    if (pipe) {
      source = c / "answers.fifo";
      ASSERT_EQ(::mkfifo(source.c_str(), 0600), 0);
    }
    const pid_t pid = start_program(c.dir.path(), source);
    if (pipe) {
      const int fd = ::open(source.c_str(), O_WRONLY);
      ASSERT_GE(fd, 0);
      EXPECT_EQ(::write(fd, answers.data(), answers.size()), static_cast<ssize_t>(answers.size()));
      ::close(fd);
    }
    const Ending e = wait_bounded(pid, 30);
    EXPECT_EQ(e.status, 1) << pipe;
    EXPECT_EQ(read_file(c / ".stderr"),
              "/dev/stdin: cannot use the file the standard input reads as the report file\n"
              "Program Completed\nPress Enter to Continue.\n")
        << pipe;
    EXPECT_EQ(read_file(c / "answers"), answers);
  }
}

// A loop device over a small image, detached again on destruction; path() is empty when
// none can be had (not the superuser, no loop devices).
class LoopDevice {
 public:
  explicit LoopDevice(const fs::path& image) {
    if (::geteuid() != 0 || !fs::exists("/dev/loop-control")) return;
    const std::string cmd = "losetup -f --show '" + image.string() + "' 2>/dev/null";
    std::FILE* p = ::popen(cmd.c_str(), "r");
    if (p == nullptr) return;
    char buf[256] = {};
    if (std::fgets(buf, sizeof buf, p) != nullptr) path_ = std::string(buf);
    ::pclose(p);
    while (!path_.empty() && (path_.back() == '\n' || path_.back() == ' ')) path_.pop_back();
  }
  ~LoopDevice() {
    if (!path_.empty()) {
      const std::string cmd = "losetup -d '" + path_ + "'";
      if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not detach %s\n", path_.c_str());
    }
  }
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(ReportSafety, ABlockDeviceReadAsTheInputIsRefusedAsTheReport) {
  TempDir dir;
  std::string image = read_file(cases_dir / "two-traits-fixed" / "two-traits.dat");
  image.resize(1 << 20, '\n');
  write_file(dir / "image", image);
  const LoopDevice loop(dir / "image");
  if (loop.path().empty()) {
    GTEST_SKIP() << "no loop device to be had (needs the superuser and /dev/loop-control); "
                    "the same refusal for a character device is tested with open_files";
  }
  const ProgramResult r = run_program(dir.path(), loop.path() + "\n" + loop.path() + "\n1\n2\n0.3\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, loop.path() + ": cannot use the input file as the report file\nProgram Completed\n"
                                 "Press Enter to Continue.\n");
  EXPECT_EQ(read_file(dir / "image"), image);
}

}  // namespace
}  // namespace vcshrink::testing
