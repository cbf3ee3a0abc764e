// The built program's dialogue and its input file: exact console bytes of complete
// dialogues, and the diagnostics, exit status and files of runs that end before computing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "console_prompts.h"
#include "run_program.h"

namespace vcshrink::testing {
namespace {

namespace fs = std::filesystem;

const std::string two_traits = "Two traits\n2\n0.30\n0.10 0.20\n0.70\n0.15 0.80\n0.30\n0.40 0.25\n";

const std::string questions_shown = relationship_shown + procedure_shown;
// A fixed-procedure dialogue answered to its end, with the line end it still owes.
const std::string fixed_dialogue_shown = names_shown + questions_shown + factor_shown + "\n";
const std::string end_lines = "Program Completed\nPress Enter to Continue.\n";

// A run that ended before computing: the console up to where it stopped, the diagnostic
// followed by the end-of-run lines, and status 1.
void expect_ended_early(const ProgramResult& r, const std::string& shown, const std::string& diagnostic) {
  EXPECT_EQ(r.out, shown);
  EXPECT_EQ(r.err, diagnostic + "\n" + end_lines);
  EXPECT_EQ(r.status, 1);
}

// A complete dialogue goes on to compute and report, so only its console output is
// checked here: after the last answer nothing but the owed line end.
TEST(DialogueEndToEnd, FixedProcedureShowsTheWholeDialogue) {
  TempDir dir;
  write_file(dir / "in.dat", two_traits);
  const std::string expected = names_shown + questions_shown + factor_shown + factor_rejected + factor_shown + "\n";
  EXPECT_EQ(run_program(dir.path(), "in.dat\nout.txt\n.25\n2\n-0.5\n0.3\n").out, expected);
  // Answers typed with CR LF line ends read the same.
  EXPECT_EQ(run_program(dir.path(), "in.dat\r\nout.txt\r\n.25\r\n2\r\n-0.5\r\n0.3\r\n").out, expected);
}

TEST(DialogueEndToEnd, OptimizedProcedureAsksTheWeightsAfterReadingTheFile) {
  TempDir dir;
  write_file(dir / "in.dat", two_traits);
  const ProgramResult r = run_program(dir.path(), "in.dat\nout.txt\n1\n7\n1\n2\n0.3 0.7\n0.7\n");
  EXPECT_EQ(r.out, names_shown + questions_shown + procedure_rejected + procedure_shown + weights_shown +
                       individual_weights_shown + weight_shown(1) + weight_shown(2) + "\n");
}

TEST(DialogueEndToEnd, AnInputFileThatCannotBeOpenedEndsTheRunBeforeTheCoefficientAndCreatesNothing) {
  const struct {
    std::string name, diagnostic;
  } cases[] = {
      {"missing.dat", "missing.dat: cannot open the input file: No such file or directory"},
      {"adir", "adir: cannot open the input file: Is a directory"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    fs::create_directory(dir / "adir");
    const ProgramResult r = run_program(dir.path(), c.name + "\nout.txt\n1\n2\n0.5\n");
    EXPECT_EQ(r.out, names_shown + "\n");
    EXPECT_EQ(r.err, c.diagnostic + "\n" + end_lines);
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir / "missing.dat"));
    EXPECT_FALSE(fs::exists(dir / "out.txt"));
  }
}

TEST(DialogueEndToEnd, ABlankNameIsAskedForAgain) {
  TempDir dir;
  const ProgramResult r = run_program(dir.path(), "   \nout.txt\n\n");
  expect_ended_early(r, names_shown + name_asked_again + name_asked_again + "\n",
                     "standard input ends before the name of the input file was answered");
}

TEST(DialogueEndToEnd, RunsEndingOnABadInputFileLeaveTheOldReportAlone) {
  const struct {
    std::string file, diagnostic;
  } cases[] = {
      {"t\n2\n0.3 0.1 0.2\n0.7 0.15\n", "in.dat, line 4: the input file ends before the residual matrix is complete"},
      {"t\n31\n1\n", "in.dat, line 2: the number of traits must be from 1 to 30, found 31"},
      {"t\r\n1\r\n0.3x\r\n1\r\n", "in.dat, line 3: expected a number, found \"0.3x\""},
  };
  for (const auto& c : cases) {
    TempDir dir;
    write_file(dir / "in.dat", c.file);
    write_file(dir / "old.out", "an older report, longer than nothing\r\n");
    const ProgramResult r = run_program(dir.path(), "in.dat\nold.out\n1\n2\n0.5\n");
    expect_ended_early(r, fixed_dialogue_shown, c.diagnostic);
    EXPECT_EQ(read_file(dir / "old.out"), "an older report, longer than nothing\r\n");
  }
}

TEST(DialogueEndToEnd, TheStandardInputEndingBeforeAnAnswerEndsTheRun) {
  TempDir dir;
  write_file(dir / "in.dat", two_traits);
  const ProgramResult r = run_program(dir.path(), "in.dat\nout.txt\n.5\n2\n7\n");
  expect_ended_early(r, names_shown + questions_shown + factor_shown + factor_rejected + factor_shown + "\n",
                     "standard input ends before the bending factor was answered");
}

// The same matrices and answers with numbers that the blocks and answers ignore: the
// warnings come on the error stream, and the standard output, the report and the
// status are those of the plain run.
TEST(DialogueEndToEnd, WarningsGoToTheErrorStreamAndChangeNothingElse) {
  TempDir dir;
  write_file(dir / "plain.dat", two_traits);
  write_file(dir / "extra.dat",
             "Two traits\n2\n0.30\n0.10 0.20 0.10\n0.70\n0.15 0.80\n0.30\n0.40 0.25\n\n0.40 0.25\n");
  const ProgramResult plain = run_program(dir.path(), "plain.dat\nplain.txt\n1\n1\n2\n0.3\n0.7\n");
  const ProgramResult extra = run_program(dir.path(), "extra.dat\nextra.txt\n1\n1\n2\n0.3 0.7\n0.7\n");
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.err, end_lines);
  EXPECT_EQ(extra.status, 0);
  EXPECT_EQ(extra.out, plain.out);
  EXPECT_EQ(read_file(dir / "extra.txt"), read_file(dir / "plain.txt"));
  const std::string layout = " (each matrix is a lower triangle, row i holding i numbers: 3 numbers for 2 traits)";
  EXPECT_EQ(extra.err,
            "extra.dat, line 4: warning: the numbers after the end of the genetic matrix on this line are ignored: "
            "\"0.10\"" + layout + "\n" +
                "extra.dat, line 10: warning: numbers after the prior matrix, which ends on line 8, are ignored" +
                layout + "\n" +
                "standard input, line 6: warning: the weight for trait 1 was read as 0.3; the rest of the line, "
                "\"0.7\", is ignored\n" +
                end_lines);
  // From a file a typo still ends the run: a new question would take the next answer.
  const ProgramResult typo = run_program(dir.path(), "plain.dat\nplain.txt\n0.3x\n1\n2\n0.3\n");
  EXPECT_EQ(typo.status, 1);
  EXPECT_EQ(typo.err, "standard input, line 3: expected a number, found \"0.3x\"\n" + end_lines);
}

// Runs the program in dir on the answers in .stdin with the standard stream closed_fd
// closed (the others going to files); returns the exit status, -1 when it did not exit.
int run_with_stream_closed(const fs::path& dir, int closed_fd) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(127);
    const int fds[] = {::open(".stdin", O_RDONLY), ::open(".stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644),
                       ::open(".stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644)};
    for (int fd = 0; fd < 3; ++fd) {
      if (fds[fd] < 0 || ::dup2(fds[fd], fd) < 0) ::_exit(127);
      ::close(fds[fd]);
    }
    ::close(closed_fd);
    ::execl(program_under_test(), program_under_test(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int wstatus = 0;
  if (pid < 0 || ::waitpid(pid, &wstatus, 0) != pid || !WIFEXITED(wstatus)) return -1;
  return WEXITSTATUS(wstatus);
}

// A standard stream closed at the start must not hand its descriptor to the input or
// the report file: the console's text would then be written into that file.
TEST(DialogueEndToEnd, AClosedStandardStreamWritesIntoNeitherFile) {
  const std::string answers = "in.dat\nout.txt\n.25\n2\n0.3\n";
  TempDir ref;
  write_file(ref / "in.dat", two_traits);
  ASSERT_EQ(run_program(ref.path(), answers).status, 0);
  const std::string report = read_file(ref / "out.txt");
  for (const int closed : {1, 2}) {
    TempDir dir;
    write_file(dir / "in.dat", two_traits);
    write_file(dir / ".stdin", answers);
    EXPECT_EQ(run_with_stream_closed(dir.path(), closed), 0) << "descriptor " << closed;
    EXPECT_EQ(read_file(dir / "in.dat"), two_traits) << "descriptor " << closed;
    EXPECT_EQ(read_file(dir / "out.txt"), report) << "descriptor " << closed;
  }
}

}  // namespace
}  // namespace vcshrink::testing
