#include "report/report_writer.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "report_fixture.h"

namespace vcshrink {
namespace {

using testing::block_after;
using testing::find_record;
using testing::report_records;
using testing::set_covariances;
using testing::set_lower;
using testing::stored_title;

const std::string kBeforeHeading = " Parameter estimates before bending";
const std::string kAfterHeading = " Parameter estimates after bending";
const std::string kFactorLabel = " Used bending factor: ";

// The two-trait input file with an entered coefficient of 1, and the adjusted
// matrices and parameters the chosen procedure leaves (fixed bf 0.3, or the
// optimized search with equal weights choosing 0.514).
RunState two_trait_example(int proc) {
  RunState s;
  s.title = stored_title("Two-trait example");
  set_covariances(s, 2, 1.0, {{0.30}, {0.10, 0.20}}, {{0.70}, {0.15, 0.80}});
  s.proc = proc;
  if (proc == 2) {
    s.bf = s.bf_used = 0.3;
    set_lower(s.GFADJ, {{0.278372}, {0.084651, 0.218140}});
    set_lower(s.PADJ, {{0.978372}, {0.234651, 1.018140}});
    s.PARADJ(1, 1) = 0.28, s.PARADJ(1, 2) = 0.24, s.PARADJ(2, 1) = 0.34, s.PARADJ(2, 2) = 0.21;
  } else {
    set_lower(s.PRIOR, {{0.30}, {0.40, 0.25}});
    s.wchoice = 1;
    s.W(1) = s.W(2) = 1.0;
    s.bf_used = 0.514;
    set_lower(s.GFADJ, {{0.262944}, {0.073702, 0.231079}});
    set_lower(s.PADJ, {{0.962944}, {0.223702, 1.031079}});
    s.PARADJ(1, 1) = 0.27, s.PARADJ(1, 2) = 0.22, s.PARADJ(2, 1) = 0.30, s.PARADJ(2, 2) = 0.22;
  }
  return s;
}

// A run with nt traits whose numbers all fit their fields.
RunState plain_run(int nt, int proc) {
  RunState s;
  s.title = stored_title("plain");
  s.nt = nt;
  s.cr = 1.0;
  s.proc = proc;
  s.wchoice = 2;
  for (int j = 1; j <= nt; ++j) {
    s.W(j) = 1.0;
    for (int i = 1; i <= nt; ++i) {
      const double g = i == j ? 1.0 : 0.1;
      s.G(i, j) = s.GF(i, j) = s.GFADJ(i, j) = g;
      s.R(i, j) = 2.0 * g;
      s.P(i, j) = s.PADJ(i, j) = 3.0 * g;
      s.PRIOR(i, j) = s.PARADJ(i, j) = 0.25;
    }
  }
  return s;
}

// text filled with blanks to n characters.
std::string padded(std::string text, std::size_t n) {
  text.resize(n, ' ');
  return text;
}

// One blank, then n copies of c.
std::string line(char c, std::size_t n) {
  std::string s(n + 1, c);
  s[0] = ' ';
  return s;
}

using Records = std::vector<std::string>;

Records operator+(Records a, const Records& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A heading as the report writes it (after one blank place) and its underline of c.
Records heading(const std::string& text, char c) { return {" " + text, line(c, text.size())}; }

// The legend of a parameter table and the empty record after it.
const Records kParameterLegend = {
    " Heritabilities:          -->  diagonal,",
    " Genetic correlations:    -->  lower diagonal",
    " Phenotypic correlations: -->  upper diagonal",
    "",
};

// The records every two-trait example report starts with: title, coefficient, G and R.
const Records kTwoTraitEcho = Records{padded(" Two-trait example", 80), ""} + heading("Input values", '=') +
                              Records{" Selected coefficient of relationship:  1.00", ""} +
                              heading("Additive genetic VC-matrix (lower triangle)", '-') +
                              Records{"      0.300000", "      0.100000      0.200000", ""} +
                              heading("Residual VC-matrix (lower triangle)", '-') +
                              Records{"      0.700000", "      0.150000      0.800000", ""};

// The table before bending of the two-trait example and the two empty records after it.
const Records kTwoTraitBefore = heading("Parameter estimates before bending", '=') + kParameterLegend +
                                Records{"    0.30    0.25", "    0.41    0.20", "", ""};

// The adjusted matrices and the table after bending, from the empty record before them.
Records two_trait_adjusted(const Records& gfadj, const Records& padj, const Records& paradj) {
  return Records{""} + heading("Adjusted (full) additive genetic VC-matrix (lower triangle)", '-') + gfadj +
         Records{""} + heading("Adjusted phenotypic VC-matrix (lower triangle)", '-') + padj + Records{""} +
         heading("Parameter estimates after bending", '-') + kParameterLegend + paradj;
}

TEST(Report, TwoTraitRunsRecordByRecord) {
  const Records fixed =
      kTwoTraitEcho + kTwoTraitBefore + heading("Results after bending with \"fixed\" bending factor", '=') +
      Records{" Used bending factor:  0.300"} +
      two_trait_adjusted({"      0.278372", "      0.084651      0.218140"},
                         {"      0.978372", "      0.234651      1.018140"}, {"    0.28    0.24", "    0.34    0.21"});
  const Records optimized =
      kTwoTraitEcho + heading("Prior matrix for genetic parameters (lower triangle)", '-') +
      Records{" Heritabilities:         -->  diagonal,", " Genetic correlations:   -->  lower diagonal", "",
              "  0.30", "  0.40  0.25", ""} +
      kTwoTraitBefore + heading("Results after bending with \"optimized\" procedure", '=') +
      Records{" Used bending factor:  0.514", " Used trait weights: --> all equal!"} +
      two_trait_adjusted({"      0.262944", "      0.073702      0.231079"},
                         {"      0.962944", "      0.223702      1.031079"}, {"    0.27    0.22", "    0.30    0.22"});
  const struct {
    int proc;
    const Records& expected;
    std::size_t records;
  } cases[] = {{2, fixed, 48}, {1, optimized, 57}};
  for (const auto& c : cases) {
    RunState s = two_trait_example(c.proc);
    const Records records = report_records(s);
    EXPECT_EQ(records, c.expected) << "proc " << c.proc;
    EXPECT_EQ(records.size(), c.records) << "proc " << c.proc;
    EXPECT_EQ(s.cr_echo, 1.0);
    EXPECT_EQ(s.nzero, 0);
  }
  // The fixed run's empty records, where the numbered records of its layout put them.
  for (int k : {2, 6, 11, 16, 22, 25, 26, 30, 35, 40, 46}) EXPECT_EQ(fixed[k - 1], "") << "record " << k;
  // Every literal has its own length, one leading blank included.
  const struct {
    const Records& records;
    int record;
    std::size_t length;
  } lengths[] = {{fixed, 1, 80},      {fixed, 3, 13},      {fixed, 7, 44},      {fixed, 12, 36},
                 {fixed, 17, 35},     {fixed, 19, 40},     {fixed, 20, 45},     {fixed, 21, 45},
                 {fixed, 27, 50},     {fixed, 31, 60},     {fixed, 36, 47},     {fixed, 41, 34},
                 {optimized, 17, 53}, {optimized, 19, 39}, {optimized, 20, 44}, {optimized, 35, 49},
                 {optimized, 38, 35}};
  for (const auto& l : lengths) EXPECT_EQ(l.records[l.record - 1].size(), l.length) << "record " << l.record;
}

// 36 + 4L + 2F records for the fixed procedure, 43 + 5L + 2F for the optimized one,
// and 3 more under each parameter table with a positive zero count.
TEST(Report, RecordCounts) {
  const struct {
    int nt, proc;
    bool zero_before;
    int nzero_adj;
    std::size_t records;
  } cases[] = {
      {1, 2, false, 0, 42},  {1, 1, false, 0, 50},  {2, 2, false, 0, 48},  {2, 1, false, 0, 57},
      {2, 2, true, 0, 51},   {2, 1, false, 1, 60},  {2, 2, true, 1, 54},   {25, 2, false, 0, 256},
      {25, 1, false, 0, 293}, {25, 1, true, 24, 299}, {20, 2, false, 0, 36 + 80 + 40},
      {30, 2, false, 0, 36 + 160 + 120},
  };
  for (const auto& c : cases) {
    RunState s = plain_run(c.nt, c.proc);
    if (c.zero_before) s.GF(1, 1) = 0.0;
    s.nzero_adj = c.nzero_adj;
    const std::vector<std::string> records = report_records(s);
    EXPECT_EQ(records.size(), c.records) << "nt " << c.nt << " proc " << c.proc;
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records[0].size(), 80u);
    EXPECT_EQ(records[1], "");
  }
}

// Rows of more than 20 values go on in a second record.
TEST(Report, TwentyFiveTraitRowsSplitAfterTwentyFields) {
  for (int proc : {1, 2}) {
    RunState s = plain_run(25, proc);
    const std::vector<std::string> records = report_records(s);
    std::vector<std::size_t> triangle;  // record lengths of a lower-triangle block
    for (std::size_t i = 1; i <= 25; ++i) {
      if (i > 20) triangle.push_back(280);
      triangle.push_back(14 * (i > 20 ? i - 20 : i));
    }
    std::vector<std::size_t> table;  // record lengths of a parameter table
    for (int i = 1; i <= 25; ++i) table.insert(table.end(), {160, 40});
    auto lengths = [&](const std::string& heading, std::size_t offset, std::size_t n) {
      std::vector<std::size_t> out;
      for (const std::string& r : block_after(records, heading, offset, n)) out.push_back(r.size());
      return out;
    };
    EXPECT_EQ(lengths(" Additive genetic VC-matrix (lower triangle)", 2, 30), triangle);
    EXPECT_EQ(lengths(" Residual VC-matrix (lower triangle)", 2, 30), triangle);
    EXPECT_EQ(lengths(" Adjusted (full) additive genetic VC-matrix (lower triangle)", 2, 30), triangle);
    EXPECT_EQ(lengths(" Adjusted phenotypic VC-matrix (lower triangle)", 2, 30), triangle);
    EXPECT_EQ(lengths(kBeforeHeading, 6, 50), table);
    EXPECT_EQ(lengths(kAfterHeading, 6, 50), table);
    if (proc == 1) {
      std::vector<std::size_t> prior;
      for (std::size_t i = 1; i <= 25; ++i) {
        if (i > 20) prior.push_back(120);
        prior.push_back(6 * (i > 20 ? i - 20 : i));
      }
      EXPECT_EQ(lengths(" Prior matrix for genetic parameters (lower triangle)", 5, 30), prior);
    }
    // The last row of G: 20 fields, then the remaining 5 on a record of their own.
    const std::size_t k = find_record(records, " Residual VC-matrix (lower triangle)");
    ASSERT_GE(k, 3u);
    std::string twenty;
    for (int j = 0; j < 20; ++j) twenty += "      0.100000";
    EXPECT_EQ(records[k - 3], twenty);
    EXPECT_EQ(records[k - 2], "      0.100000      0.100000      0.100000      0.100000      1.000000");
    EXPECT_EQ(records[k - 1], "");
  }
}

TEST(Report, TitleRecordIsAlwaysEightyCharacters) {
  std::string hundred(100, 'a');
  hundred.replace(50, 50, 50, 'b');
  const struct {
    std::string title, record;
  } cases[] = {
      {stored_title("AB"), padded(" AB", 80)},
      {stored_title(""), std::string(80, ' ')},
      {stored_title(hundred), std::string(" ").append(50, 'a').append(29, 'b')},
      // A title held shorter than its 80 characters still starts in the second column.
      {"AB", padded(" AB", 80)},
  };
  for (const auto& c : cases) {
    RunState s = plain_run(1, 2);
    s.title = c.title;
    EXPECT_EQ(report_records(s)[0], c.record);
  }
}

TEST(Report, CoefficientIsEchoedAsTyped) {
  const struct {
    double cr;  // reciprocal of the typed coefficient
    double echo;
    std::string record;
  } cases[] = {
      {1.0, 1.0, " Selected coefficient of relationship:  1.00"},
      {4.0, 0.25, " Selected coefficient of relationship:  0.25"},
      {-2.0, -0.5, " Selected coefficient of relationship: -0.50"},
      {std::numeric_limits<double>::infinity(), 0.0, " Selected coefficient of relationship:  0.00"},
      {0.001, 1000.0, " Selected coefficient of relationship: *****"},
  };
  for (const auto& c : cases) {
    RunState s = plain_run(2, 2);
    s.cr = c.cr;
    EXPECT_EQ(report_records(s)[4], c.record);
    EXPECT_EQ(s.cr_echo, c.echo);
  }
}

TEST(Report, WeightsRecordFollowsTheFactorForTheOptimizedProcedureOnly) {
  const struct {
    int proc, wchoice;
    std::vector<double> weights;
    std::string after_factor;
  } cases[] = {
      {1, 2, {1.0, 0.5, 2.0}, " Used trait weights:   1.0  0.5  2.0"},
      {1, 2, {999.95, 1.0, 999.9}, " Used trait weights: *****  1.0999.9"},
      {1, 2, {-0.04, -0.06, 0.0}, " Used trait weights:   0.0 -0.1  0.0"},
      {1, 1, {1.0, 0.5, 2.0}, " Used trait weights: --> all equal!"},
      {2, 2, {1.0, 0.5, 2.0}, ""},
  };
  for (const auto& c : cases) {
    RunState s = plain_run(3, c.proc);
    s.wchoice = c.wchoice;
    s.bf_used = 0.25;
    for (int i = 1; i <= 3; ++i) s.W(i) = c.weights[static_cast<std::size_t>(i - 1)];
    const std::vector<std::string> records = report_records(s);
    const std::size_t k = find_record(records, kFactorLabel + " 0.250");
    ASSERT_LT(k + 1, records.size()) << "proc " << c.proc;
    EXPECT_EQ(records[k + 1], c.after_factor) << "proc " << c.proc << " wchoice " << c.wchoice;
  }
}

TEST(Report, AllThirtyWeightsFitOneRecord) {
  RunState s = plain_run(30, 1);
  for (int i = 1; i <= 30; ++i) s.W(i) = 0.5 * i;
  const std::vector<std::string> records = report_records(s);
  const std::size_t k = find_record(records, kFactorLabel + " 0.000");
  ASSERT_LT(k + 2, records.size());
  EXPECT_EQ(records[k + 1].size(), 21u + 150u);
  EXPECT_EQ(records[k + 1].substr(21, 10), "  0.5  1.0");
  EXPECT_EQ(records[k + 1].substr(166), " 15.0");
  EXPECT_EQ(records[k + 2], "");
}

// Each table carries the warning only when its own count is positive.
TEST(Report, ZeroVarianceWarningUnderItsOwnTable) {
  // The records from a table's underline to its first legend.
  auto opening = [](char underline, std::size_t length, bool warning) {
    std::vector<std::string> v = {line(underline, length)};
    if (warning) {
      v.insert(v.end(), {" (Warning: A zero-variance was found --> all",
                         " related trait correlations were set to zero", ""});
    }
    v.push_back(" Heritabilities:          -->  diagonal,");
    return v;
  };
  const struct {
    bool zero_before;
    int nzero_adj;
  } cases[] = {{true, 0}, {false, 1}, {true, 3}, {false, 0}};
  for (const auto& c : cases) {
    RunState s = plain_run(3, 2);
    if (c.zero_before) s.G(2, 2) = s.GF(2, 2) = 0.0;
    s.nzero_adj = c.nzero_adj;
    const std::vector<std::string> records = report_records(s);
    const auto before = opening('=', 34, c.zero_before);
    const auto after = opening('-', 33, c.nzero_adj > 0);
    EXPECT_EQ(block_after(records, kBeforeHeading, 1, before.size()), before);
    EXPECT_EQ(block_after(records, kAfterHeading, 1, after.size()), after);
    EXPECT_EQ(s.nzero, c.zero_before ? 2 : 0);
  }
}

// The table before bending, as derived from G, R and the coefficient and printed.
TEST(Report, ParameterTableBeforeBending) {
  const struct {
    const char* name;
    int nt;
    double cr;
    testing::Rows g, r;
    int nzero;
    std::vector<std::string> rows;
  } cases[] = {
      {"coefficient 1", 2, 1.0, {{1}, {0.5, 2}}, {{3}, {1, 4}}, 0, {"    0.25    0.31", "    0.35    0.33"}},
      {"coefficient 0.25", 2, 4.0, {{1}, {0.5, 2}}, {{3}, {1, 4}}, 0, {"    1.00    0.31", "    0.35    1.33"}},
      {"single trait", 1, 1.0, {{1}}, {{3}}, 0, {"    0.25"}},
      {"zero variance, three traits",
       3,
       1.0,
       {{0}, {0.1, 1}, {0.2, 0.3, 2}},
       {{1}, {0.1, 1}, {0.1, 0.1, 1}},
       2,
       {"    0.00    0.00    0.00", "    0.00    0.50    0.16", "    0.00    0.21    0.67"}},
      {"negative variance", 2, 1.0, {{1}, {0.5, -0.5}}, {{3}, {1, 4}}, 1, {"    0.25    0.00", "    0.00   -0.14"}},
      {"genetic and residual variance 0", 2, 1.0, {{0}, {0.5, 2}}, {{0}, {1, 4}}, 1,
       {"-NaN        0.00", "    0.00    0.33"}},
      // The zero test looks at the full additive genetic variance cr G(1,1).
      {"limit, coefficient 1", 2, 1.0, {{1e-6}, {1e-6, 4e-6}}, {{1}, {0, 1}}, 0, {"    0.00    0.00", "    0.50    0.00"}},
      {"limit, coefficient 2", 2, 0.5, {{1e-6}, {1e-6, 4e-6}}, {{1}, {0, 1}}, 1, {"    0.00    0.00", "    0.00    0.00"}},
      {"phenotypic variance 0", 2, 1.0, {{1}, {0.5, 2}}, {{-1}, {1, 4}}, 0, {"Inf     Inf     ", "    0.35    0.33"}},
  };
  for (const auto& c : cases) {
    RunState s = plain_run(c.nt, 2);
    s.G = s.R = s.GF = s.P = TraitMatrix{};
    set_covariances(s, c.nt, c.cr, c.g, c.r);
    const std::vector<std::string> records = report_records(s);
    const std::size_t legend = c.nzero > 0 ? 6 : 3;
    EXPECT_EQ(block_after(records, kBeforeHeading, 3 + legend, c.rows.size()), c.rows) << c.name;
    EXPECT_EQ(s.nzero, c.nzero) << c.name;
  }
}

// Values that do not fit print as asterisks in their own field only.
TEST(Report, OversizedValuesOnlyFillTheirOwnField) {
  RunState s = plain_run(2, 2);
  s.G(2, 1) = 10000000.0;
  s.GFADJ(1, 1) = -std::numeric_limits<double>::infinity();
  s.PARADJ(1, 2) = 100000.0;
  s.bf_used = 1.0;
  const std::vector<std::string> records = report_records(s);
  EXPECT_EQ(records[9], "**************      1.000000");
  EXPECT_EQ(block_after(records, " Adjusted (full) additive genetic VC-matrix (lower triangle)", 2, 1)[0],
            "-Inf          ");
  EXPECT_EQ(block_after(records, kAfterHeading, 6, 1)[0], "    0.25********");
  EXPECT_LT(find_record(records, kFactorLabel + " 1.000"), records.size());
}

}  // namespace
}  // namespace vcshrink
