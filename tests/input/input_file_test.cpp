// Reading the input file: title, number of traits, the triangles of G, R and PRIOR in
// their layouts, the mirror, and every diagnostic with its exit status.
#include "input/input_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "run/end_run.h"
#include "collected_warnings.h"
#include "memory_input.h"
#include "run_end.h"

namespace vcshrink {
namespace {

using testing::CollectedWarnings;
using testing::MemoryInput;

std::unique_ptr<RunState> read(const std::string& file, int proc, Warnings& warnings) {
  auto s = std::make_unique<RunState>();
  s->proc = proc;
  MemoryInput in(file, "in.dat", LineSource::Kind::File);
  read_input_file(*s, in.lines, warnings);
  return s;
}

std::unique_ptr<RunState> read(const std::string& file, int proc) {
  NoWarnings none;
  return read(file, proc, none);
}

// The diagnostic a file ends the run with; fails the test when the run goes on.
std::string diagnostic(const std::string& file, int proc) {
  const auto end = testing::run_end_of([&] { read(file, proc); });
  if (!end) {
    ADD_FAILURE() << "the run went on";
    return {};
  }
  EXPECT_EQ(end->status, ExitStatus::InputOutput);
  return end->diagnostic;
}

bool same_bits(const TraitMatrix& a, const TraitMatrix& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

const std::string two_traits =
    "any text, for example the name of the data set\n2\n0.30\n0.10 0.20\n0.70\n0.15 0.80\n0.30\n0.40 0.25\n";

TEST(InputFile, ReadsAndMirrorsTheTwoTraitExample) {
  const auto s = read(two_traits, 1);
  EXPECT_EQ(s->title.size(), 80u);
  EXPECT_EQ(s->title, std::string("any text, for example the name of the data set") + std::string(34, ' '));
  EXPECT_EQ(s->nt, 2);
  EXPECT_EQ(s->G(1, 1), 0.30);
  EXPECT_EQ(s->G(2, 1), 0.10);
  EXPECT_EQ(s->G(1, 2), 0.10);
  EXPECT_EQ(s->G(2, 2), 0.20);
  EXPECT_EQ(s->R(1, 1), 0.70);
  EXPECT_EQ(s->R(1, 2), 0.15);
  EXPECT_EQ(s->R(2, 2), 0.80);
  EXPECT_EQ(s->PRIOR(1, 1), 0.30);
  EXPECT_EQ(s->PRIOR(2, 1), 0.40);
  EXPECT_EQ(s->PRIOR(1, 2), 0.40);
  EXPECT_EQ(s->PRIOR(2, 2), 0.25);
  EXPECT_EQ(s->G(3, 1), 0.0);  // beyond nt nothing is written
}

TEST(InputFile, EveryLayoutOfTheBlocksGivesTheSameMatrices) {
  const auto ref = read(two_traits, 1);
  const char* layouts[] = {
      "t\n2\n0.30 0.10 0.20\n0.70 0.15 0.80\n0.30 0.40 0.25\n",
      "t\n2\n0.30\n0.10\n0.20\n0.70\n0.15\n0.80\n0.30\n0.40\n0.25\n",
      "t\r\n2\r\n0.30\r\n0.10 0.20\r\n0.70\r\n0.15 0.80\r\n0.30\r\n0.40 0.25\r\n",
      "t\n  2 traits follow\n\n.3,.1,.2\n7d-1 1.5E-1 .8\n\t0.3 0.4 0.25",
      "t\n2\n0.30 0.10 0.20 lost 9 9\n0.70 0.15 0.80 9\n0.30 0.40 0.25 9\n",
  };
  for (const char* file : layouts) {
    const auto s = read(file, 1);
    EXPECT_EQ(s->nt, 2) << file;
    EXPECT_TRUE(same_bits(s->G, ref->G)) << file;
    EXPECT_TRUE(same_bits(s->R, ref->R)) << file;
    EXPECT_TRUE(same_bits(s->PRIOR, ref->PRIOR)) << file;
  }
}

TEST(InputFile, NumbersAfterABlockAreLostAndTheNextBlockStartsOnTheNextLine) {
  // G and R on one line: R comes from the following line.
  const auto s = read("t\n2\n1 2 3 4 5 6\n7 8 9\n", 2);
  EXPECT_EQ(s->G(2, 2), 3.0);
  EXPECT_EQ(s->R(1, 1), 7.0);
  EXPECT_EQ(s->R(2, 2), 9.0);
}

TEST(InputFile, SlashesSkipsAndRepeatsLeaveOrFillElements) {
  const auto s = read("t\n2\n0.3 /\n0.7,,0.8\n3*0.5\n", 1);
  EXPECT_EQ(s->G(1, 1), 0.3);
  EXPECT_EQ(s->G(2, 1), 0.0);
  EXPECT_EQ(s->G(2, 2), 0.0);
  EXPECT_EQ(s->R(2, 1), 0.0);
  EXPECT_EQ(s->R(2, 2), 0.8);
  EXPECT_EQ(s->PRIOR(1, 1), 0.5);
  EXPECT_EQ(s->PRIOR(1, 2), 0.5);
  EXPECT_EQ(s->PRIOR(2, 2), 0.5);
}

TEST(InputFile, FixedProcedureIgnoresThePriorBlock) {
  const auto s = read("t\n2\n1 2 3\n4 5 6\nnot read at all\n", 2);
  EXPECT_TRUE(same_bits(s->PRIOR, TraitMatrix{}));
}

TEST(InputFile, TitleKeepsItsFirst79CharactersAndOneBlank) {
  const std::string long_title(79, 'a');
  EXPECT_EQ(read(long_title + std::string(21, 'b') + "\n1\n1\n1\n", 2)->title, long_title + " ");
  EXPECT_EQ(read("\n1\n1\n1\n", 2)->title, std::string(80, ' '));
}

TEST(InputFile, MirrorsBitForBit) {
  const auto s = read("t\n3\n1\n-0 2\n1e-320 -3 4\n1 0 1 0 0 1\n", 2);
  EXPECT_TRUE(std::signbit(s->G(1, 2)));
  EXPECT_EQ(s->G(1, 3), 1e-320);
  EXPECT_EQ(s->G(2, 3), -3.0);
  for (int i = 1; i <= 3; ++i) {
    for (int j = 1; j <= 3; ++j) EXPECT_EQ(std::memcmp(&s->G(i, j), &s->G(j, i), sizeof(double)), 0);
  }
}

TEST(InputFile, ThirtyTraitsFillTheWholeStorage) {
  const auto s = read("t\n30\n465*1\n465*2\n465*0.5\n", 1);
  EXPECT_EQ(s->G(30, 30), 1.0);
  EXPECT_EQ(s->G(1, 30), 1.0);
  EXPECT_EQ(s->R(30, 1), 2.0);
  EXPECT_EQ(s->PRIOR(29, 30), 0.5);
}

TEST(InputFile, NumbersTheBlocksDoNotTakeGiveAWarning) {
  const std::string layout2 = " (each matrix is a lower triangle, row i holding i numbers: 3 numbers for 2 traits)";
  const struct {
    std::string file;
    int proc;
    std::vector<std::string> warnings;
  } cases[] = {
      // Full square matrices where the lower triangles belong.
      {"t\n2\n0.30 0.10\n0.10 0.20\n0.70 0.15\n0.15 0.80\n0.30 0.40\n0.40 0.25\n", 1,
       {"in.dat, line 4: warning: the numbers after the end of the genetic matrix on this line are ignored: \"0.20\"" +
            layout2,
        "in.dat, line 6: warning: the numbers after the end of the residual matrix on this line are ignored: "
        "\"0.80\"" + layout2,
        "in.dat, line 8: warning: the numbers after the end of the prior matrix on this line are ignored: \"0.25\"" +
            layout2}},
      {"t\n2\n1 2 3 4 5 6\n7 8 9\n", 2,
       {"in.dat, line 3: warning: the numbers after the end of the genetic matrix on this line are ignored: \"4 5 "
        "6\"" + layout2}},
      {"t\n1\n1, 2\n3\n", 2,
       {"in.dat, line 3: warning: the numbers after the end of the genetic matrix on this line are ignored: \", 2\" "
        "(each matrix is a lower triangle, row i holding i numbers: 1 number for 1 trait)"}},
      {"t\n2 0.3\n0.3\n0.1 0.2\n0.7\n0.15 0.8\n", 2,
       {"in.dat, line 2: warning: the numbers after the number of traits on this line are ignored: \"0.3\" (each "
        "block starts on a new line)"}},
      // Lines after the prior matrix: the first that begins with a number.
      {two_traits + "0.5\n9\n", 1,
       {"in.dat, line 9: warning: numbers after the prior matrix, which ends on line 8, are ignored" + layout2}},
      {two_traits + "\nnotes: from 2019\n  7 8", 1,
       {"in.dat, line 11: warning: numbers after the prior matrix, which ends on line 8, are ignored" + layout2}},
      // The fixed procedure ignores a prior block, and whatever else follows R.
      {two_traits + "0.5\n", 2, {}},
      // As the manual describes: comments after the numbers, a slash's rest, other layouts.
      {two_traits, 1, {}},
      {"t\n  2 traits follow\n0.30 0.10 0.20 lost 9 9\n.7 .15 .8 ! R\n.3\n.4 .25,\nend of the data\n", 1, {}},
      {"t\n2\n0.3 / 9 9\n0.7,,0.8\n3*0.5 / 1\n\n", 1, {}},
      {"t\n2\n0.30\n0.10\n0.20\n0.70\n0.15\n0.80\n0.30\n0.40\n0.25\n", 1, {}},
  };
  for (const auto& c : cases) {
    CollectedWarnings warnings;
    read(c.file, c.proc, warnings);
    EXPECT_EQ(warnings.lines, c.warnings) << c.file;
  }
}

TEST(InputFile, DiagnosticsNameTheFileTheLineAndTheBlock) {
  const struct {
    std::string file;
    int proc;
    std::string diagnostic;
  } cases[] = {
      {"", 2, "in.dat: the input file is empty"},
      {"title only\n", 2, "in.dat, line 1: the input file ends before the number of traits was read"},
      {"t\n0\n", 2, "in.dat, line 2: the number of traits must be from 1 to 30, found 0"},
      {"t\n-3\n", 2, "in.dat, line 2: the number of traits must be from 1 to 30, found -3"},
      {"t\n\n31\n1\n", 2, "in.dat, line 3: the number of traits must be from 1 to 30, found 31"},
      {"t\n99999999999\n", 2, "in.dat, line 2: the number of traits must be from 1 to 30, found 99999999999"},
      {"t\n/\n", 2, "in.dat, line 2: the number of traits must be from 1 to 30, found 0"},
      {"t\n2.0\n", 2,
       "in.dat, line 2: expected an integer (digits without a decimal point or exponent), found \"2.0\""},
      {"t\n2\n0.3 0.1 0.2\n0.7 0.15\n", 2,
       "in.dat, line 4: the input file ends before the residual matrix is complete"},
      {"t\n2\n0.3\n", 2, "in.dat, line 3: the input file ends before the genetic matrix is complete"},
      {two_traits.substr(0, two_traits.size() - 5), 1,
       "in.dat, line 8: the input file ends before the prior matrix is complete"},
      {"t\n2\n0.3 0.1x 0.2\n", 2, "in.dat, line 3: expected a number, found \"0.1x\""},
      {"t\n1\n1e400\n", 2,
       "in.dat, line 3: expected a number of magnitude at most 1.7976931348623157e308, found \"1e400\""},
  };
  for (const auto& c : cases) EXPECT_EQ(diagnostic(c.file, c.proc), c.diagnostic) << c.file;
}

}  // namespace
}  // namespace vcshrink
