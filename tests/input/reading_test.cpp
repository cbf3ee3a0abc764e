// The reading forms: line sources, free-form values, integer and text fields, and the
// diagnostics made from a failed read.
#include "input/reading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "input/diagnostics.h"
#include "run/end_run.h"
#include "memory_input.h"
#include "run_end.h"

namespace vcshrink {
namespace {

using testing::MemoryInput;

constexpr double Untouched = -7.0;  // the value of a target before the read

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct Reals {
  std::vector<double> v;
  std::vector<Target> t;
  explicit Reals(std::size_t n) : v(n, Untouched) {
    for (double& x : v) t.push_back(real_target(x));
  }
};

// The line the next read of the same source starts on.
std::string next_line(LineSource& src) {
  std::string rest;
  return read_text_line(src, rest).ok() ? rest : "<end>";
}

TEST(LineSource, SplitsLfAndCrLfLinesAndCountsThem) {
  MemoryInput in("a\r\nb\n\r\nc\rd\nlast", "f", LineSource::Kind::File);
  std::vector<std::string> lines;
  while (in.lines.next_line() == LineSource::Status::Line) lines.emplace_back(in.lines.line());
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "", "c\rd", "last"}));
  EXPECT_EQ(in.lines.line_number(), 5);
  EXPECT_EQ(in.lines.next_line(), LineSource::Status::End);
}

TEST(LineSource, RefusesALineBeyondTheLimitButTakesOneAtIt) {
  const std::string at_limit(LineSource::MaxLineLength, '1');
  MemoryInput ok(at_limit + "\r\nnext\n");
  ASSERT_EQ(ok.lines.next_line(), LineSource::Status::Line);
  EXPECT_EQ(ok.lines.line().size(), LineSource::MaxLineLength);
  MemoryInput big(at_limit + "12\nnext\n");
  EXPECT_EQ(big.lines.next_line(), LineSource::Status::TooLong);
  EXPECT_EQ(big.lines.next_line(), LineSource::Status::End);
  MemoryInput last(at_limit + "1");
  EXPECT_EQ(last.lines.next_line(), LineSource::Status::TooLong);
}

struct ValuesCase {
  const char* input;
  std::vector<double> expected;  // Untouched where the read must not write
  const char* next;              // the line the next read starts on
};

class FreeFormValues : public ::testing::TestWithParam<ValuesCase> {};

TEST_P(FreeFormValues, FillSkipAndStopAsWritten) {
  const ValuesCase& c = GetParam();
  MemoryInput in(c.input);
  Reals r(c.expected.size());
  const ReadResult res = read_values(in.lines, r.t);
  ASSERT_TRUE(res.ok()) << read_diagnostic(in.lines, res, "done");
  for (std::size_t i = 0; i < c.expected.size(); ++i) {
    EXPECT_TRUE(same_bits(r.v[i], c.expected[i])) << "target " << i << ": " << r.v[i];
  }
  EXPECT_EQ(next_line(in.lines), c.next);
}

constexpr double U = Untouched;
const double denorm_min = std::numeric_limits<double>::denorm_min();

INSTANTIATE_TEST_SUITE_P(
    Table, FreeFormValues,
    ::testing::Values(
        // Number forms, and layouts of one read over one line or many.
        ValuesCase{"0.3 1.5E-2 2d0 -.5 +4 5.\nn", {0.3, 0.015, 2.0, -0.5, 4.0, 5.0}, "n"},
        ValuesCase{"1 2 3 4 5 6\nn", {1, 2, 3, 4, 5, 6}, "n"},
        ValuesCase{"1\n2 3\n4 5 6\nn", {1, 2, 3, 4, 5, 6}, "n"},
        ValuesCase{"1\n2\n3\n4\n5\n6\nn", {1, 2, 3, 4, 5, 6}, "n"},
        ValuesCase{"\n   \n\t\n1,2 , 3\t4,\t5  ,6\nn", {1, 2, 3, 4, 5, 6}, "n"},
        ValuesCase{"1e0 1E+1 1d-1 1D2 .5e1 -0\nn", {1, 10, 0.1, 100, 5, -0.0}, "n"},
        // Repeats, null values and the slash.
        ValuesCase{"3*0.5 1 2 3\nn", {0.5, 0.5, 0.5, 1, 2, 3}, "n"},
        ValuesCase{"1,,3 4 5 6\nn", {1, U, 3, 4, 5, 6}, "n"},
        ValuesCase{",2 3 4 5 6\nn", {U, 2, 3, 4, 5, 6}, "n"},
        ValuesCase{"1,\n,3 4 5 6\nn", {1, U, 3, 4, 5, 6}, "n"},
        ValuesCase{"2* 3 4 5 6\nn", {U, U, 3, 4, 5, 6}, "n"},
        ValuesCase{"1,2*,4\n5 6\nn", {1, U, U, 4, 5, 6}, "n"},
        ValuesCase{"1 /\n9\n", {1, U, U, U, U, U}, "9"},
        ValuesCase{"1 2,/ 9\nn", {1, 2, U, U, U, U}, "n"},
        ValuesCase{"/\nn", {U, U, U, U, U, U}, "n"},
        ValuesCase{"9*1\nn", {1, 1, 1, 1, 1, 1}, "n"},
        ValuesCase{"1 99999999999999999999*2\nn", {1, 2, 2, 2, 2, 2}, "n"},
        ValuesCase{"4*\n5 6\nn", {U, U, U, U, 5, 6}, "n"},
        // Once the read is complete the rest of its line is dropped, whatever it holds.
        ValuesCase{"1 2 3 4 5 6 7 8 junk \"\nn", {1, 2, 3, 4, 5, 6}, "n"},
        ValuesCase{"1 2 3 4 5\n6,7\nn", {1, 2, 3, 4, 5, 6}, "n"},
        // Correct rounding, underflow to the nearest double.
        ValuesCase{"9007199254740993 2.2250738585072011e-308 1e-400 -1e-400 4.9e-324 2.4e-324\nn",
                   {9007199254740992.0, 2.2250738585072011e-308, 0.0, -0.0, denorm_min, 0.0},
                   "n"},
        ValuesCase{"1.7976931348623157e308 0.1 1e-310 3.0000000000000000000000000001 1. 0\n",
                   {1.7976931348623157e308, 0.1, 1e-310, 3.0, 1.0, 0.0},
                   "<end>"}));

struct ErrorCase {
  const char* input;
  bool integer;  // integer targets, else doubles
  int targets;
  ReadError error;
  long line;
  const char* found;
};

class FreeFormErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(FreeFormErrors, NameTheLineAndTheText) {
  const ErrorCase& c = GetParam();
  MemoryInput in(c.input);
  std::vector<double> reals(static_cast<std::size_t>(c.targets));
  std::vector<std::int32_t> ints(static_cast<std::size_t>(c.targets));
  std::vector<Target> t;
  for (int i = 0; i < c.targets; ++i) {
    t.push_back(c.integer ? integer_target(ints[static_cast<std::size_t>(i)])
                          : real_target(reals[static_cast<std::size_t>(i)]));
  }
  const ReadResult r = read_values(in.lines, t);
  EXPECT_EQ(r.error, c.error);
  EXPECT_EQ(r.line, c.line);
  EXPECT_EQ(r.found, c.found);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FreeFormErrors,
    ::testing::Values(ErrorCase{"0.3x", false, 1, ReadError::NotANumber, 1, "0.3x"},
                      ErrorCase{"1 'a'", false, 2, ReadError::NotANumber, 1, "'a'"},
                      ErrorCase{"\n\n1 \"2\"", false, 2, ReadError::NotANumber, 3, "\"2\""},
                      ErrorCase{"1.5.2", false, 1, ReadError::NotANumber, 1, "1.5.2"},
                      ErrorCase{"1e", false, 1, ReadError::NotANumber, 1, "1e"},
                      ErrorCase{"e5", false, 1, ReadError::NotANumber, 1, "e5"},
                      ErrorCase{".", false, 1, ReadError::NotANumber, 1, "."},
                      ErrorCase{"-", false, 1, ReadError::NotANumber, 1, "-"},
                      ErrorCase{"1.0+5", false, 1, ReadError::NotANumber, 1, "1.0+5"},
                      ErrorCase{"inf", false, 1, ReadError::NotANumber, 1, "inf"},
                      ErrorCase{"nan", false, 1, ReadError::NotANumber, 1, "nan"},
                      ErrorCase{"0x10", false, 1, ReadError::NotANumber, 1, "0x10"},
                      ErrorCase{"1\r2\n", false, 1, ReadError::NotANumber, 1, "1\r2"},
                      ErrorCase{"2*3*4", false, 2, ReadError::NotANumber, 1, "2*3*4"},
                      ErrorCase{"*5", false, 1, ReadError::NotANumber, 1, "*5"},
                      ErrorCase{"-2*5", false, 2, ReadError::NotANumber, 1, "-2*5"},
                      ErrorCase{"0*5", false, 1, ReadError::BadRepeatCount, 1, "0*5"},
                      ErrorCase{"1e400", false, 1, ReadError::NumberOutOfRange, 1, "1e400"},
                      ErrorCase{"2*-1d309", false, 2, ReadError::NumberOutOfRange, 1, "2*-1d309"},
                      ErrorCase{"2.0", true, 1, ReadError::NotAnInteger, 1, "2.0"},
                      ErrorCase{"2e0", true, 1, ReadError::NotAnInteger, 1, "2e0"},
                      ErrorCase{"two", true, 1, ReadError::NotAnInteger, 1, "two"},
                      ErrorCase{"2147483648", true, 1, ReadError::IntegerOutOfRange, 1, "2147483648"},
                      ErrorCase{"-2147483649", true, 1, ReadError::IntegerOutOfRange, 1, "-2147483649"},
                      ErrorCase{"", false, 1, ReadError::EndOfSource, 0, ""},
                      ErrorCase{"\n  \n", false, 1, ReadError::EndOfSource, 2, ""},
                      ErrorCase{"1 2\n3", false, 4, ReadError::EndOfSource, 2, ""},
                      ErrorCase{"1,", false, 2, ReadError::EndOfSource, 1, ""}));

TEST(FreeFormValues, IntegerTargetsTakeTheWholeRange) {
  MemoryInput in("-2147483648 +2147483647 007 -0\n");
  std::int32_t v[4] = {9, 9, 9, 9};
  const Target t[] = {integer_target(v[0]), integer_target(v[1]), integer_target(v[2]), integer_target(v[3])};
  ASSERT_TRUE(read_values(in.lines, t).ok());
  EXPECT_EQ(v[0], -2147483647 - 1);
  EXPECT_EQ(v[1], 2147483647);
  EXPECT_EQ(v[2], 7);
  EXPECT_EQ(v[3], 0);
}

TEST(FreeFormValues, KeepTheLastValueAndTheRestOfItsLine) {
  const struct {
    const char* input;
    std::size_t targets;
    const char* last;
    const char* rest;
  } cases[] = {
      {"0,3 x\n", 1, "0", ",3 x"},   {"\n 1 2\t3\n", 2, "2", "\t3"}, {"1\n2 3*4 5\n", 3, "3*4", " 5"},
      {",5\n", 1, "", "5"},           {"7\n", 1, "7", ""},             {"1 / 9\n", 3, "", ""},
  };
  for (const auto& c : cases) {
    MemoryInput in(c.input);
    Reals r(c.targets);
    const ReadResult res = read_values(in.lines, r.t);
    ASSERT_TRUE(res.ok()) << c.input;
    EXPECT_EQ(res.last, c.last) << c.input;
    EXPECT_EQ(res.rest, c.rest) << c.input;
  }
}

TEST(FreeFormValues, TellARestThatBeginsWithANumber) {
  for (const char* yes : {"9", " 9 x", "\t-.5e3", ",3", " , 3", "2*0.5", " 1d0/"}) {
    EXPECT_TRUE(begins_with_number(yes)) << yes;
  }
  for (const char* no : {"", "   ", ",", ",,3", " lost 9", "/ 9", "3rd", "*5", "2*", "x2", "'1'", ".", "-"}) {
    EXPECT_FALSE(begins_with_number(no)) << no;
  }
}

TEST(IntegerField, TakesTheFirstColumnsOfOneLine) {
  const struct {
    const char* line;
    std::int32_t value;
  } cases[] = {{"1", 1}, {" 1", 1}, {"1 ", 1}, {"12", 12}, {"123", 12}, {"", 0},   {"  ", 0},
               {"-1", -1}, {"+2", 2}, {"20", 20}, {"2 x", 2}, {"1\r", 1},  {" 3 junk", 3}};
  for (const auto& c : cases) {
    MemoryInput in(std::string(c.line) + "\nnext\n");
    std::int32_t v = -99;
    const ReadResult r = read_integer_field(in.lines, 2, v);
    EXPECT_TRUE(r.ok()) << '"' << c.line << '"';
    EXPECT_EQ(v, c.value) << '"' << c.line << '"';
    EXPECT_EQ(next_line(in.lines), "next");
  }
}

TEST(IntegerField, RefusesAnythingButBlanksDigitsAndOneLeadingSign) {
  for (const char* line : {"x", "1-", "- ", "+", "--", "\t1", ".5"}) {
    MemoryInput in(std::string(line) + "\n");
    std::int32_t v = -99;
    const ReadResult r = read_integer_field(in.lines, 2, v);
    EXPECT_EQ(r.error, ReadError::BadIntegerField) << '"' << line << '"';
    EXPECT_EQ(r.found, std::string(line).substr(0, 2));
    EXPECT_EQ(v, -99);
  }
  MemoryInput wide("99999999999\n");
  std::int32_t v = 0;
  EXPECT_EQ(read_integer_field(wide.lines, 11, v).error, ReadError::IntegerOutOfRange);
  MemoryInput none("");
  EXPECT_EQ(read_integer_field(none.lines, 2, v).error, ReadError::EndOfSource);
}

TEST(TextField, CutsOrFillsOneLineToItsWidth) {
  MemoryInput in("12345678901234567890\n\nab\r\n");
  std::string t;
  ASSERT_TRUE(read_text_field(in.lines, 15, t).ok());
  EXPECT_EQ(t, "123456789012345");
  ASSERT_TRUE(read_text_field(in.lines, 15, t).ok());
  EXPECT_EQ(t, std::string(15, ' '));
  ASSERT_TRUE(read_text_field(in.lines, 4, t).ok());
  EXPECT_EQ(t, "ab  ");
  EXPECT_EQ(read_text_field(in.lines, 4, t).error, ReadError::EndOfSource);
}

TEST(TextLine, KeepsTheWholeLineWithoutTrailingBlanks) {
  MemoryInput in("  a name longer than fifteen.dat  \r\n   \n");
  std::string t;
  ASSERT_TRUE(read_text_line(in.lines, t).ok());
  EXPECT_EQ(t, "  a name longer than fifteen.dat");
  ASSERT_TRUE(read_text_line(in.lines, t).ok());
  EXPECT_EQ(t, "");
}

TEST(Diagnostics, NameSourceLineExpectationAndText) {
  const auto diag = [](const char* input, LineSource::Kind kind, const char* name, int targets,
                       const char* unfinished) {
    MemoryInput in(input, name, kind);
    std::vector<double> v(static_cast<std::size_t>(targets));
    std::vector<Target> t;
    for (double& x : v) t.push_back(real_target(x));
    return read_diagnostic(in.lines, read_values(in.lines, t), unfinished);
  };
  const auto File = LineSource::Kind::File;
  const auto Console = LineSource::Kind::Console;
  EXPECT_EQ(diag("1\n2\n3\n4\n5\n6\n0.3x\n", File, "input.dat", 7, "x"),
            "input.dat, line 7: expected a number, found \"0.3x\"");
  EXPECT_EQ(diag("1\n\n\n\n\n\n\n\n2\n", File, "input.dat", 3, "the residual matrix is complete"),
            "input.dat, line 9: the input file ends before the residual matrix is complete");
  EXPECT_EQ(diag("", File, "input.dat", 1, "the title was read"), "input.dat: the input file is empty");
  EXPECT_EQ(diag("\n", Console, "standard input", 1, "the coefficient of relationship was answered"),
            "standard input ends before the coefficient of relationship was answered");
  EXPECT_EQ(diag("abc\n", Console, "standard input", 1, "x"),
            "standard input, line 1: expected a number, found \"abc\"");
  EXPECT_EQ(diag("-1D999", File, "f", 1, "x"),
            "f, line 1: expected a number of magnitude at most 1.7976931348623157e308, found \"-1D999\"");
  EXPECT_EQ(diag("0*1", File, "f", 1, "x"), "f, line 1: expected a repeat count of at least 1, found \"0*1\"");
  EXPECT_EQ(diag((std::string(LineSource::MaxLineLength + 1, '1') + "\n").c_str(), File, "f", 1, "x"),
            "f, line 1: expected a line of at most 1048576 characters, found a longer line");

  MemoryInput ints("2.5\n2147483648\n", "f", File);
  std::int32_t n = 0;
  const Target t = integer_target(n);
  EXPECT_EQ(read_diagnostic(ints.lines, read_values(ints.lines, {&t, 1}), "x"),
            "f, line 1: expected an integer (digits without a decimal point or exponent), found \"2.5\"");
  EXPECT_EQ(read_diagnostic(ints.lines, read_values(ints.lines, {&t, 1}), "x"),
            "f, line 2: expected an integer from -2147483648 to 2147483647, found \"2147483648\"");
  MemoryInput field("7x\n");
  EXPECT_EQ(read_diagnostic(field.lines, read_integer_field(field.lines, 2, n), "x"),
            "standard input, line 1: expected an integer (blanks, digits and one leading sign), found \"7x\"");
}

TEST(Diagnostics, ShowFoundTextSafely) {
  EXPECT_EQ(quote_found("a\"b\\c\x01\x7f\xc3"), "\"a\\x22b\\x5cc\\x01\\x7f\\xc3\"");
  EXPECT_EQ(quote_found(std::string(50, 'x')), "\"" + std::string(40, 'x') + "...\"");
  EXPECT_EQ(display_name("in put\t\x1b[2J.dat"), "in put\\x09\\x1b[2J.dat");
}

TEST(Diagnostics, EndTheRunWithStatusOne) {
  MemoryInput in("");
  ReadResult r;
  r.error = ReadError::EndOfSource;
  const auto end = testing::run_end_of([&] { end_run_on_read_error(in.lines, r, "the bending factor was answered"); });
  ASSERT_TRUE(end) << "returned";
  EXPECT_EQ(end->status, ExitStatus::InputOutput);
  EXPECT_EQ(end->diagnostic, "standard input ends before the bending factor was answered");
}

}  // namespace
}  // namespace vcshrink
