// Opening the two files, asking for a blank name, and replacing the report file's
// content: created files, untouched old reports, and the diagnostics of every failure.
#include "input/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "run/end_run.h"
#include "memory_input.h"
#include "run_end.h"
#include "run_program.h"

namespace vcshrink {
namespace {

namespace fs = std::filesystem;
using testing::CapturedConsole;
using testing::MemoryInput;
using testing::read_file;
using testing::run_end_of;
using testing::TempDir;
using testing::write_file;

// open_files with the names given (relative to dir) and keyboard answers for blank names.
struct Opening {
  std::unique_ptr<RunState> s = std::make_unique<RunState>();
  CapturedConsole screen;
  InputFile input;
  ReportFile report;
  std::optional<RunEnd> end;  // how open_files ended the run, if it did

  Opening(const TempDir& dir, const std::string& infile, const std::string& outfile, const std::string& keys = "") {
    s->infile = infile.empty() || infile.find('\0') != std::string::npos ? infile : (dir / infile).string();
    s->outfile = outfile.empty() || outfile.find('\0') != std::string::npos ? outfile : (dir / outfile).string();
    MemoryInput keyboard(keys);
    end = run_end_of([&] { open_files(*s, screen.screen, keyboard.lines, input, report); });
  }
};

TEST(OpenFiles, CreatesMissingFilesEmptyAndWritesNothing) {
  TempDir dir;
  write_file(dir / "old.out", "an older and longer report\r\n");
  Opening a(dir, "missing.dat", "new.out");
  ASSERT_FALSE(a.end) << a.end->diagnostic;
  EXPECT_TRUE(fs::exists(dir / "missing.dat"));
  EXPECT_EQ(fs::file_size(dir / "missing.dat"), 0u);
  EXPECT_EQ(fs::file_size(dir / "new.out"), 0u);
  EXPECT_EQ(a.input.lines().next_line(), LineSource::Status::End);
  EXPECT_EQ(a.screen.out(), "");

  Opening b(dir, "missing.dat", "old.out");
  ASSERT_FALSE(b.end) << b.end->diagnostic;
  b.report.close();
  EXPECT_EQ(read_file(dir / "old.out"), "an older and longer report\r\n");
}

TEST(OpenFiles, AsksForABlankNameUntilAnUnblankLineComes) {
  TempDir dir;
  write_file(dir / "in.dat", "t\n");
  const std::string in = (dir / "in.dat").string(), out = (dir / "out.txt").string();
  Opening a(dir, "", "", "  \n\n" + in + "  \r\n" + out + "\n");
  ASSERT_FALSE(a.end) << a.end->diagnostic;
  EXPECT_EQ(a.s->infile, in);
  EXPECT_EQ(a.s->outfile, out);
  EXPECT_EQ(a.screen.out(),
            "    Please type the name of the input file:  -->  \n"
            "    Please type the name of the input file:  -->  \n"
            "    Please type the name of the input file:  -->  \n"
            "    Please type the name of the output file:  -->  ");
  EXPECT_TRUE(fs::exists(dir / "out.txt"));
}

TEST(OpenFiles, DiagnosticsComeBeforeAnythingElseIsAsked) {
  TempDir dir;
  fs::create_directory(dir / "adir");
  write_file(dir / "in.dat", "t\n");
  const std::string d = dir.path().string() + "/";
  const struct {
    std::string infile, outfile, keys, diagnostic;
  } cases[] = {
      {"adir", "out.txt", "", d + "adir: cannot open the input file: Is a directory"},
      {"in.dat", "adir", "", d + "adir: cannot open the report file: Is a directory"},
      {"no/such.dat", "out.txt", "", d + "no/such.dat: cannot open the input file: No such file or directory"},
      {"in.dat", "in.dat", "", d + "in.dat: cannot use the input file as the report file"},
      {"", "out.txt", "\n  \n", "standard input ends before the name of the input file was answered"},
      {"in.dat", "", "", "standard input ends before the name of the output file was answered"},
      {std::string("in.dat\0x", 8), "out.txt", "",
       "in.dat\\x00x: cannot open the input file: the name holds a NUL character"},
      {"in.dat", std::string(5000, 'n'), "",
       d + std::string(5000, 'n') + ": cannot open the report file: File name too long"},
  };
  for (const auto& c : cases) {
    Opening o(dir, c.infile, c.outfile, c.keys);
    ASSERT_TRUE(o.end) << c.diagnostic;
    EXPECT_EQ(o.end->status, ExitStatus::InputOutput);
    EXPECT_EQ(o.end->diagnostic, c.diagnostic);
  }
  // The input file is opened first: a failure there creates no report file.
  EXPECT_FALSE(fs::exists(dir / "out.txt"));
}

// Runs fn where file permissions bind: as the user nobody in a child process when the
// tests run as the superuser. Returns what fn returns.
std::string unprivileged(const TempDir& dir, const std::function<std::string()>& fn) {
  if (::geteuid() != 0) return fn();
  constexpr uid_t nobody = 65534;
  for (const auto& e : fs::recursive_directory_iterator(dir.path())) {
    if (::chown(e.path().c_str(), nobody, nobody) != 0) return "chown failed";
  }
  if (::chown(dir.path().c_str(), nobody, nobody) != 0) return "chown failed";
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    std::string r = ::setgid(nobody) == 0 && ::setuid(nobody) == 0 ? fn() : "setuid failed";
    if (::write(fds[1], r.data(), r.size()) < 0) ::_exit(1);
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string r;
  char buf[256];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) r.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  ::waitpid(pid, nullptr, 0);
  return r;
}

TEST(OpenFiles, AnInputFileThatCannotBeReadIsRefused) {
  TempDir dir;
  write_file(dir / "secret.dat", "t\n");
  fs::permissions(dir / "secret.dat", fs::perms::owner_write, fs::perm_options::replace);
  const std::string diag = unprivileged(dir, [&] {
    Opening o(dir, "secret.dat", "out.txt");
    return o.end ? o.end->diagnostic : "the run went on";
  });
  EXPECT_EQ(diag, (dir / "secret.dat").string() + ": cannot open the input file for reading: Permission denied");
}

TEST(OpenFile, FallsBackToReadOnlyAndWriteOnly) {
  TempDir dir;
  write_file(dir / "r", "x");
  write_file(dir / "w", "x");
  fs::permissions(dir / "r", fs::perms::owner_read, fs::perm_options::replace);
  fs::permissions(dir / "w", fs::perms::owner_write, fs::perm_options::replace);
  const std::string access = unprivileged(dir, [&] {
    const OpenedFile r = open_file((dir / "r").string());
    const OpenedFile w = open_file((dir / "w").string());
    ::close(r.fd);
    ::close(w.fd);
    return std::to_string(static_cast<int>(r.access)) + std::to_string(static_cast<int>(w.access));
  });
  EXPECT_EQ(access, std::to_string(static_cast<int>(FileAccess::ReadOnly)) +
                        std::to_string(static_cast<int>(FileAccess::WriteOnly)));
}

TEST(OpenFiles, AReportFileThatMayOnlyBeReadFailsAtTheReportAndKeepsItsContent) {
  TempDir dir;
  write_file(dir / "in.dat", "t\n");
  write_file(dir / "old.out", "old report");
  fs::permissions(dir / "old.out", fs::perms::owner_read, fs::perm_options::replace);
  const std::string diag = unprivileged(dir, [&] {
    Opening o(dir, "in.dat", "old.out");
    if (o.end) return o.end->diagnostic;
    const auto end = run_end_of([&] { o.report.replace_content("new report"); });
    return end ? end->diagnostic : std::string("written");
  });
  EXPECT_EQ(diag, (dir / "old.out").string() + ": cannot write the report file: Permission denied");
  EXPECT_EQ(read_file(dir / "old.out"), "old report");
}

// The diagnostic replace_content ends the run with, or "" when it succeeds.
std::string replace(ReportFile& f, std::string_view text) {
  const auto end = run_end_of([&] { f.replace_content(text); });
  if (!end) return "";
  EXPECT_EQ(end->status, ExitStatus::InputOutput);
  return end->diagnostic;
}

ReportFile& attach(ReportFile& f, const fs::path& p) {
  f.attach(open_file(p.string()), p.string());
  return f;
}

TEST(ReportFile, HoldsExactlyTheNewTextWhateverWasThereBefore) {
  TempDir dir;
  for (const std::string& old : {std::string(), std::string("short"), std::string(10000, 'o')}) {
    write_file(dir / "r.out", old);
    ReportFile f;
    EXPECT_EQ(replace(attach(f, dir / "r.out"), "line 1\r\nline 2\r\n"), "");
    EXPECT_TRUE(f.written());
    EXPECT_EQ(f.close(), 0);
    EXPECT_EQ(read_file(dir / "r.out"), "line 1\r\nline 2\r\n");
  }
}

TEST(ReportFile, AFullDeviceIsReported) {
  ReportFile f;
  f.attach(open_file("/dev/full"), "/dev/full");
  EXPECT_EQ(replace(f, "report"), "/dev/full: cannot write the report file: No space left on device");
  ReportFile null;
  EXPECT_EQ(replace(attach(null, "/dev/null"), "report"), "");
}

TEST(ReportFile, NoRoomForTheReportLeavesTheOldReportUntouched) {
  // A limit on the file size stands in for a full disk: the space is reserved before
  // any old byte is overwritten.
  TempDir dir;
  const std::string old = "old report, thirty bytes long.";
  write_file(dir / "r.out", old);
  ReportFile f;
  attach(f, dir / "r.out");
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string diag = replace(f, std::string(100, 'n'));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(diag, (dir / "r.out").string() + ": cannot write the report file: File too large");
  f.close();
  EXPECT_EQ(read_file(dir / "r.out"), old);
}

}  // namespace
}  // namespace vcshrink
