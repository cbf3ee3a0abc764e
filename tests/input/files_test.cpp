// Opening the two files, asking for a blank name, and replacing the report file's
// content: created files, untouched old reports, and the diagnostics of every failure.
#include "input/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

TEST(OpenFiles, OpensTheInputForReadingOnlyAndCreatesAMissingReportEmpty) {
  TempDir dir;
  write_file(dir / "in.dat", "title\n");
  write_file(dir / "old.out", "an older and longer report\r\n");
  Opening a(dir, "in.dat", "new.out");
  ASSERT_FALSE(a.end) << a.end->diagnostic;
  EXPECT_EQ(::fcntl(::fileno(a.input.lines().file()), F_GETFL) & O_ACCMODE, O_RDONLY);
  EXPECT_EQ(fs::file_size(dir / "new.out"), 0u);
  EXPECT_EQ(a.screen.out(), "");

  Opening b(dir, "in.dat", "old.out");
  ASSERT_FALSE(b.end) << b.end->diagnostic;
  b.report.close();
  EXPECT_EQ(read_file(dir / "old.out"), "an older and longer report\r\n");
}

TEST(OpenFiles, AMissingInputFileEndsTheRunAtOnceAndNothingIsCreated) {
  TempDir dir;
  Opening o(dir, "nosuch.dat", "report.txt");
  ASSERT_TRUE(o.end);
  EXPECT_EQ(o.end->diagnostic, (dir / "nosuch.dat").string() + ": cannot open the input file: No such file or directory");
  EXPECT_TRUE(fs::is_empty(dir.path()));
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
  fs::create_symlink("in.dat", dir / "link.dat");
  const std::string d = dir.path().string() + "/";
  const struct {
    std::string infile, outfile, keys, diagnostic;
  } cases[] = {
      {"adir", "out.txt", "", d + "adir: cannot open the input file: Is a directory"},
      {"in.dat", "adir", "", d + "adir: cannot open the report file: Is a directory"},
      {"no/such.dat", "out.txt", "", d + "no/such.dat: cannot open the input file: No such file or directory"},
      {"in.dat", "in.dat", "", d + "in.dat: cannot use the input file as the report file"},
      {"link.dat", "in.dat", "", d + "in.dat: cannot use the input file as the report file"},
      // Not only regular files: a device read as the input is not written as the report.
      {"/dev/zero", "/dev/zero", "", "/dev/zero: cannot use the input file as the report file"},
      // The keyboard of these cases reads /dev/null when it has no answers.
      {"in.dat", "/dev/null", "", "/dev/null: cannot use the file the standard input reads as the report file"},
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
  EXPECT_EQ(diag, (dir / "secret.dat").string() + ": cannot open the input file: Permission denied");
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

// The names in a directory, sorted, separated by blanks.
std::string names_in(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  std::string out;
  for (const auto& n : names) {
    if (!out.empty()) out.push_back(' ');
    out.append(n);
  }
  return out;
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
  EXPECT_EQ(names_in(dir.path()), "r.out");
}

TEST(ReportFile, TheNewReportKeepsTheOldPermissionsAndReplacesALinksTarget) {
  TempDir dir;
  fs::create_directory(dir / "sub");
  write_file(dir / "sub" / "target.out", "old");
  fs::permissions(dir / "sub" / "target.out", fs::perms(0640), fs::perm_options::replace);
  fs::create_symlink("sub/target.out", dir / "link.out");
  fs::create_hard_link(dir / "sub" / "target.out", dir / "hard.out");
  ReportFile f;
  EXPECT_EQ(replace(attach(f, dir / "link.out"), "new report"), "");
  EXPECT_EQ(f.close(), 0);
  EXPECT_TRUE(fs::is_symlink(dir / "link.out"));
  EXPECT_EQ(read_file(dir / "sub" / "target.out"), "new report");
  EXPECT_EQ(fs::status(dir / "sub" / "target.out").permissions(), fs::perms(0640));
  // A hard link is a name of the old file, which the new one replaces under one name only.
  EXPECT_EQ(read_file(dir / "hard.out"), "old");
  EXPECT_EQ(names_in(dir / "sub"), "target.out");
}

TEST(ReplaceFileContent, CreatesAMissingFileWithTheUmasksBitsAlsoThroughADanglingLink) {
  TempDir dir;
  fs::create_symlink("made.json", dir / "dangling.json");
  const mode_t saved = ::umask(027);
  const int missing = replace_file_content((dir / "new.svg").string(), "<svg/>");
  const int dangling = replace_file_content((dir / "dangling.json").string(), "{}");
  ::umask(saved);
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(dangling, 0);
  EXPECT_EQ(read_file(dir / "new.svg"), "<svg/>");
  EXPECT_EQ(fs::status(dir / "new.svg").permissions(), fs::perms(0640));
  EXPECT_TRUE(fs::is_symlink(dir / "dangling.json"));
  EXPECT_EQ(read_file(dir / "made.json"), "{}");
}

TEST(ReplaceFileContent, WritesDevicesDirectlyAndRefusesWhatCannotTakeTheBytes) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_directory(dir / "adir");
  const struct {
    std::string path;
    int error;
  } cases[] = {
      {"/dev/null", 0},
      {"/dev/full", ENOSPC},
      {(dir / "fifo").string(), ENXIO},  // no reader: refused at once, not waited for
      {(dir / "adir").string(), EISDIR},
      {(dir / "no" / "such.json").string(), ENOENT},
      {"", ENOENT},
  };
  for (const auto& c : cases) EXPECT_EQ(replace_file_content(c.path, "bytes"), c.error) << c.path;
}

// A write seam that writes at most 7 bytes a call and fails the n-th call.
int write_calls = 0, failing_call = 0;
ssize_t short_writes_failing(int fd, const void* bytes, std::size_t n) {
  if (++write_calls == failing_call) {
    errno = EIO;
    return -1;
  }
  return ::write(fd, bytes, std::min<std::size_t>(n, 7));
}

TEST(ReportFile, AWriteThatFailsPartWayLeavesTheOldReportAndNoTemporaryFile) {
  TempDir dir;
  const std::string old = "the old report\r\n";
  const std::string report(100, 'n');  // 15 writes of 7 bytes
  replacement_seams().write_call = short_writes_failing;
  for (const int n : {1, 2, 8, 15}) {
    write_file(dir / "r.out", old);
    write_calls = 0;
    failing_call = n;
    ReportFile f;
    EXPECT_EQ(replace(attach(f, dir / "r.out"), report), (dir / "r.out").string() + ": cannot write the report file: " +
                                                            std::strerror(EIO)) << n;
    f.close();
    EXPECT_EQ(read_file(dir / "r.out"), old) << n;
    EXPECT_EQ(names_in(dir.path()), "r.out") << n;
  }
  failing_call = 0;
  EXPECT_EQ(replace_file_content((dir / "r.out").string(), report), 0);
  replacement_seams().write_call = nullptr;
  EXPECT_EQ(read_file(dir / "r.out"), report);
}

TEST(ReportFile, WhereTheDirectoryTakesNoNewFileAWritableReportIsWrittenInPlace) {
  TempDir dir;
  fs::create_directory(dir / "ro");
  write_file(dir / "ro" / "w.out", "an old report, longer than the new one");
  write_file(dir / "ro" / "r.out", "old");
  fs::permissions(dir / "ro" / "r.out", fs::perms(0444), fs::perm_options::replace);
  fs::permissions(dir / "ro", fs::perms(0555), fs::perm_options::replace);
  const std::string got = unprivileged(dir, [&] {
    ReportFile w, r;
    const std::string a = replace(attach(w, dir / "ro" / "w.out"), "new report");
    const std::string b = replace(attach(r, dir / "ro" / "r.out"), "new report");
    return a + "|" + b;
  });
  const std::string refused = (dir / "ro" / "r.out").string() + ": cannot write the report file: Permission denied";
  EXPECT_EQ(got, std::string("|").append(refused));
  EXPECT_EQ(read_file(dir / "ro" / "w.out"), "new report");
  EXPECT_EQ(read_file(dir / "ro" / "r.out"), "old");
  EXPECT_EQ(names_in(dir / "ro"), "r.out w.out");
}

}  // namespace
}  // namespace vcshrink
