// The console dialogue: the exact bytes of every prompt for both procedures, the
// re-asked questions, the answers as stored, the warnings about numbers an answer
// ignores, and unreadable answers: a diagnostic, or at a terminal the question again.
#include "dialogue/dialogue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "run/end_run.h"
#include "collected_warnings.h"
#include "console_prompts.h"
#include "memory_input.h"
#include "run_end.h"

namespace vcshrink {
namespace {

using testing::CapturedConsole;
using testing::CollectedWarnings;
using testing::MemoryInput;
using testing::coefficient_rejected;
using testing::factor_rejected;
using testing::factor_shown;
using testing::names_shown;
using testing::procedure_rejected;
using testing::procedure_shown;
using testing::relationship_shown;
using testing::run_end_of;
using testing::weights_shown;

// What a step shows as the first output of a run: no line end is owed before it.
std::string first(const std::string& shown) { return shown.substr(1); }

// The dialogue's steps, run on typed answers; what the console shows and how it ended.
struct Dialogue {
  std::unique_ptr<RunState> s = std::make_unique<RunState>();
  CapturedConsole console;
  MemoryInput keys;
  CollectedWarnings warnings;
  std::optional<RunEnd> end;  // how the last step run ended the run, if one did

  explicit Dialogue(std::string answers) : keys(std::move(answers)) {}

  template <typename Step>
  Dialogue& run(Step step) {
    if (end) return *this;
    end = run_end_of([&] {
      if constexpr (std::is_invocable_v<Step, RunState&, RecordWriter&, LineSource&>) {
        step(*s, console.screen, keys.lines);
      } else {
        step(*s, console.screen, keys.lines, warnings);
      }
    });
    return *this;
  }
  Dialogue& to_procedure() { return run(ask_file_names).run(ask_relationship).run(ask_procedure); }
  std::string shown() { return console.out(); }
};

TEST(Dialogue, FixedProcedureShowsEveryPromptByteForByte) {
  Dialogue d("in.dat\nout.txt\n.25\n2\n1.5\n0.3\n");
  d.to_procedure();
  ASSERT_FALSE(d.end) << d.end->diagnostic;
  EXPECT_EQ(d.shown(),
            names_shown + relationship_shown + procedure_shown + factor_shown + factor_rejected + factor_shown);
  EXPECT_EQ(d.s->infile, "in.dat");
  EXPECT_EQ(d.s->outfile, "out.txt");
  EXPECT_EQ(d.s->cr, 4.0);
  EXPECT_EQ(d.s->proc, 2);
  EXPECT_EQ(d.s->bf, 0.3);
}

TEST(Dialogue, OptimizedProcedureAsksTheWeightsOfEveryTrait) {
  Dialogue d("in.dat\nout.txt\n1\n1\n2\n0.3 0.7\n\n0.5\n2,\n");
  d.s->nt = 3;
  d.to_procedure().run(ask_weights);
  ASSERT_FALSE(d.end) << d.end->diagnostic;
  EXPECT_EQ(d.shown(), names_shown + relationship_shown + procedure_shown + weights_shown +
                           "\n    Individual trait weights (proportions):"
                           "\n    Weight for trait  1?              -->  "
                           "\n    Weight for trait  2?              -->  "
                           "\n    Weight for trait  3?              -->  ");
  EXPECT_EQ(d.s->proc, 1);
  EXPECT_EQ(d.s->bf, 0.0);
  EXPECT_EQ(d.s->wchoice, 2);
  EXPECT_EQ(d.s->W(1), 0.3);
  EXPECT_EQ(d.s->W(2), 0.5);
  EXPECT_EQ(d.s->W(3), 2.0);
  EXPECT_EQ(d.s->W(4), 0.0);
}

TEST(Dialogue, TraitNumbersTakeTwoPlaces) {
  std::string answers = "2\n";
  for (int i = 1; i <= 12; ++i) answers += "\n1\n";  // an empty line is skipped, no new prompt
  Dialogue d(answers);
  d.s->nt = 12;
  d.run(ask_weights);
  ASSERT_FALSE(d.end) << d.end->diagnostic;
  const std::string shown = d.shown();
  EXPECT_NE(shown.find("\n    Weight for trait  9?              -->  \n    Weight for trait 10?"), std::string::npos);
  EXPECT_EQ(shown.substr(shown.size() - 43), "    Weight for trait 12?              -->  ");
  for (int i = 1; i <= 12; ++i) EXPECT_EQ(d.s->W(i), 1.0);
}

TEST(Dialogue, AnyWeightChoiceButTwoGivesEqualWeightsSilently) {
  for (const char* choice : {"1", "0", "3", "", " 1", "22"}) {
    Dialogue d(std::string(choice) + "\n");
    d.s->nt = 4;
    d.run(ask_weights);
    ASSERT_FALSE(d.end) << d.end->diagnostic;
    EXPECT_EQ(d.shown(), first(weights_shown)) << '"' << choice << '"';
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(d.s->W(i), 1.0);
    EXPECT_EQ(d.s->W(5), 0.0);
  }
}

TEST(Dialogue, AProcedureOtherThanOneOrTwoIsAskedAgainInFull) {
  Dialogue d("\n0\n3\n12\n-1\n 2\n0\n");
  d.run(ask_procedure);
  ASSERT_FALSE(d.end) << d.end->diagnostic;
  std::string expected;
  for (int i = 0; i < 5; ++i) expected += procedure_shown + procedure_rejected;
  EXPECT_EQ(d.shown(), first(expected + procedure_shown + factor_shown));
  EXPECT_EQ(d.s->proc, 2);
}

TEST(Dialogue, ProcedureAnswersInTheFieldOfTwo) {
  const struct {
    const char* answer;
    int proc;
  } cases[] = {{"2", 2}, {" 2", 2}, {"2 ", 2}, {"1", 1}, {"01", 1}, {"1 and more", 1}, {"+2", 2}};
  for (const auto& c : cases) {
    Dialogue d(std::string(c.answer) + "\n0.5\n");
    d.run(ask_procedure);
    ASSERT_FALSE(d.end) << c.answer << ": " << d.end->diagnostic;
    EXPECT_EQ(d.s->proc, c.proc) << c.answer;
    EXPECT_EQ(d.shown(), first(procedure_shown + (c.proc == 2 ? factor_shown : ""))) << c.answer;
  }
}

TEST(Dialogue, BendingFactorIsAskedUntilItLiesBetweenZeroAndOne) {
  const struct {
    const char* answers;
    int rejected;
    double bf;
  } cases[] = {
      {"0\n", 0, 0.0},       {"1\n", 0, 1.0},         {"-0\n", 0, -0.0},      {"1.01\n0.5\n", 1, 0.5},
      {"-0.5\n1\n", 1, 1.0}, {"2\n/\n0.4\n", 2, 0.4}, {"\n\n.3 9\n", 0, 0.3}, {"1.0000000000000002\n,\n1\n", 2, 1.0},
  };
  for (const auto& c : cases) {
    Dialogue d(std::string("2\n") + c.answers);
    d.run(ask_procedure);
    ASSERT_FALSE(d.end) << c.answers << ": " << d.end->diagnostic;
    std::string expected = procedure_shown + factor_shown;
    for (int i = 0; i < c.rejected; ++i) expected += factor_rejected + factor_shown;
    EXPECT_EQ(d.shown(), first(expected)) << c.answers;
    EXPECT_EQ(d.s->bf, c.bf) << c.answers;
    EXPECT_EQ(std::signbit(d.s->bf), std::signbit(c.bf)) << c.answers;
  }
}

TEST(Dialogue, CoefficientIsStoredAsItsReciprocal) {
  const struct {
    const char* answer;
    double cr;
  } cases[] = {{".25\n", 4.0},  {"1\n", 1.0}, {"\n\n  .5 junk\n", 2.0},
               {"2\n", 0.5},    // above 1: relatives that are inbred
               {"1e-300\n", 1.0 / 1e-300}, {"2.2250738585072014e-308\n", 1.0 / 2.2250738585072014e-308}};
  for (const auto& c : cases) {
    Dialogue d(c.answer);
    d.run(ask_relationship);
    ASSERT_FALSE(d.end) << d.end->diagnostic;
    EXPECT_EQ(d.s->cr, c.cr) << c.answer;
    EXPECT_EQ(d.s->coefficient, 1.0 / c.cr) << c.answer;
    EXPECT_EQ(d.shown(), first(relationship_shown)) << c.answer;
  }
}

TEST(Dialogue, ACoefficientNotAboveZeroIsAskedAgainInFull) {
  // Each refused answer, then .25; a slash or a comma keeps the refused value.
  const struct {
    const char* answers;
    int rejected;
  } cases[] = {{"0\n", 1},        {"-0\n", 1},           {"-0.25\n", 1},  {"/\n", 1},
               {"-2\n/\n", 2},  {"4.9e-324\n", 1},     {"1e-309\n", 1}, {"0\n,\n-1e-320\n", 3}};
  for (const auto& c : cases) {
    Dialogue d(std::string(c.answers) + ".25\n");
    d.run(ask_relationship);
    ASSERT_FALSE(d.end) << c.answers << ": " << d.end->diagnostic;
    std::string expected = relationship_shown;
    for (int i = 0; i < c.rejected; ++i) expected += coefficient_rejected + relationship_shown;
    EXPECT_EQ(d.shown(), first(expected)) << c.answers;
    EXPECT_EQ(d.s->cr, 4.0) << c.answers;
    EXPECT_EQ(d.s->coefficient, 0.25) << c.answers;
  }
  Dialogue d("0\n\n");  // the end of the input still ends the run
  d.run(ask_relationship);
  ASSERT_TRUE(d.end);
  EXPECT_EQ(d.end->diagnostic, "standard input ends before the coefficient of relationship was answered");
}

TEST(Dialogue, ANumberLeftOnTheLineOfAnAnswerGivesAWarning) {
  // Coefficient, procedure, (bending factor), weight choice and two weights; nt = 2.
  const struct {
    std::string answers;
    std::vector<std::string> warnings;
  } cases[] = {
      {"0,25\n.25\n1\n1\n",
       {"standard input, line 1: warning: the coefficient of relationship was read as 0; the rest of the line, "
        "\",25\", is ignored (decimals are written with a point, as in 0.25)"}},
      {"1\n2\n0,3\n", {"standard input, line 3: warning: the bending factor was read as 0; the rest of the line, "
                        "\",3\", is ignored (decimals are written with a point, as in 0.3)"}},
      {"1\n2\n0.3 0.7\n", {"standard input, line 3: warning: the bending factor was read as 0.3; the rest of "
                            "the line, \"0.7\", is ignored"}},
      {"1\n2\n\n 0.3,\t5  \n", {"standard input, line 4: warning: the bending factor was read as 0.3; the rest "
                                "of the line, \",\\x095\", is ignored"}},
      {"1\n1\n2\n0.3 0.7\n1 2*1\n",
       {"standard input, line 4: warning: the weight for trait 1 was read as 0.3; the rest of the line, \"0.7\", "
        "is ignored",
        "standard input, line 5: warning: the weight for trait 2 was read as 1; the rest of the line, \"2*1\", is "
        "ignored"}},
      {"1\n2\n,5\n", {"standard input, line 3: warning: no number was read for the bending factor (a comma skips "
                       "it); the rest of the line, \"5\", is ignored"}},
      {"1\n2\n-1,5\n0.5\n",
       {"standard input, line 3: warning: the bending factor was read as -1; the rest of the line, \",5\", is "
        "ignored (decimals are written with a point, as in -1.5)"}},
      // Well-formed answers, comments, a slash's rest and the choice fields: no warning.
      {"1\n2\n0.3\n", {}},
      {".25 halfsib\n2 fixed\n0.3, \n", {}},
      {"1\n2\n/ 0.5\n0.3 / 7\n", {}},
      {"1\n1 2\n2 1\n0.5 (milk)\n1,\n", {}},
      {"1\n2\n3rd\n", {}},  // not a number: the diagnostic, no warning
  };
  for (const auto& c : cases) {
    Dialogue d(c.answers);
    d.s->nt = 2;
    d.run(ask_relationship).run(ask_procedure).run(ask_weights);
    EXPECT_EQ(d.warnings.lines, c.warnings) << c.answers;
  }
}

TEST(Dialogue, AtATerminalAnUnreadableAnswerShowsWhyAndTheQuestionAgain) {
  Dialogue d("0.3x\n.25\nx\n2\n'.5'\n1e999\n0.5\n");
  d.keys.lines.set_interactive(true);
  d.run(ask_relationship).run(ask_procedure);
  ASSERT_FALSE(d.end) << d.end->diagnostic;
  EXPECT_EQ(d.shown(), first(relationship_shown + "\n    expected a number, found \"0.3x\"" + relationship_shown +
                             procedure_shown +
                             "\n    expected an integer (blanks, digits and one leading sign), found \"x\"" +
                             procedure_shown + factor_shown + "\n    expected a number, found \"'.5'\"" +
                             factor_shown +
                             "\n    expected a number of magnitude at most 1.7976931348623157e308, found \"1e999\"" +
                             factor_shown));
  EXPECT_EQ(d.s->cr, 4.0);
  EXPECT_EQ(d.s->bf, 0.5);

  Dialogue w("2\nhalf\n0.5\n");
  w.s->nt = 1;
  w.keys.lines.set_interactive(true);
  w.run(ask_weights);
  ASSERT_FALSE(w.end) << w.end->diagnostic;
  EXPECT_EQ(w.s->W(1), 0.5);
  EXPECT_NE(w.shown().find("-->  \n    expected a number, found \"half\"\n    Weight for trait  1?"),
            std::string::npos)
      << w.shown();

  Dialogue e("abc\n");  // the end of the input still ends the run
  e.keys.lines.set_interactive(true);
  e.run(ask_relationship);
  ASSERT_TRUE(e.end);
  EXPECT_EQ(e.end->status, ExitStatus::InputOutput);
  EXPECT_EQ(e.end->diagnostic, "standard input ends before the coefficient of relationship was answered");
}

TEST(Dialogue, FileNamesAreTheWholeLineWithoutTrailingBlanks) {
  Dialogue d("a rather long input file name.dat   \r\n  out\n");
  d.run(ask_file_names);
  ASSERT_FALSE(d.end);
  EXPECT_EQ(d.s->infile, "a rather long input file name.dat");
  EXPECT_EQ(d.s->outfile, "  out");
}

TEST(Dialogue, UnreadableAnswersEndTheRunWithADiagnostic) {
  const struct {
    std::string answers;
    std::string diagnostic;
  } cases[] = {
      {"", "standard input ends before the name of the input file was answered"},
      {"in\n", "standard input ends before the name of the output file was answered"},
      {"in\nout\n\n\n", "standard input ends before the coefficient of relationship was answered"},
      {"in\nout\nabc\n", "standard input, line 3: expected a number, found \"abc\""},
      {"in\nout\n'.25'\n", "standard input, line 3: expected a number, found \"'.25'\""},
      {"in\nout\n1\n", "standard input ends before the choice of procedure was answered"},
      {"in\nout\n1\nx\n",
       "standard input, line 4: expected an integer (blanks, digits and one leading sign), found \"x\""},
      {"in\nout\n1\n5\n", "standard input ends before the choice of procedure was answered"},
      {"in\nout\n1\n2\n", "standard input ends before the bending factor was answered"},
      {"in\nout\n1\n2\n7\n/\n", "standard input ends before the bending factor was answered"},
      {"in\nout\n1\n2\n.5x\n", "standard input, line 5: expected a number, found \".5x\""},
      {"in\nout\n1\n2\n1e999\n",
       "standard input, line 5: expected a number of magnitude at most 1.7976931348623157e308, found \"1e999\""},
  };
  for (const auto& c : cases) {
    Dialogue d(c.answers);
    d.to_procedure();
    ASSERT_TRUE(d.end) << c.answers;
    EXPECT_EQ(d.end->status, ExitStatus::InputOutput);
    EXPECT_EQ(d.end->diagnostic, c.diagnostic) << c.answers;
  }
  const struct {
    std::string answers;
    std::string diagnostic;
  } weights[] = {
      {"", "standard input ends before the choice of trait weights was answered"},
      {"2\n1\n", "standard input ends before the weight for trait 2 was answered"},
      {"2\n1\nhalf\n", "standard input, line 3: expected a number, found \"half\""},
  };
  for (const auto& c : weights) {
    Dialogue d(c.answers);
    d.s->nt = 2;
    d.run(ask_weights);
    ASSERT_TRUE(d.end) << c.answers;
    EXPECT_EQ(d.end->diagnostic, c.diagnostic) << c.answers;
  }
}

}  // namespace
}  // namespace vcshrink
