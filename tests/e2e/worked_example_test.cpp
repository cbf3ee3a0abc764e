// The two-trait worked example run end to end, checked record by record against
// the figures this example is known to give, written out here rather than recorded
// from this program.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "run_program.h"

namespace vcshrink::testing {
namespace {

const std::string two_traits =
    "Two traits, example data set\n2\n0.30\n0.10 0.20\n0.70\n0.15 0.80\n0.30\n0.40 0.25\n";

std::vector<std::string> records(const std::string& report) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t end; (end = report.find("\r\n", start)) != std::string::npos; start = end + 2) {
    out.push_back(report.substr(start, end - start));
  }
  EXPECT_EQ(start, report.size()) << "report does not end with CR LF";
  return out;
}

std::vector<std::string> run_example(const std::string& answers) {
  TempDir dir;
  write_file(dir / "two.dat", two_traits);
  const ProgramResult r = run_program(dir.path(), "two.dat\nreport.txt\n" + answers);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "Program Completed\nPress Enter to Continue.\n");
  return records(read_file(dir / "report.txt"));
}

TEST(WorkedExample, FixedFactorReport) {
  const std::vector<std::string> rec = run_example("1\n2\n0.3\n");
  ASSERT_EQ(rec.size(), 48u);
  for (int empty : {2, 6, 11, 16, 22, 25, 26, 30, 35, 40, 46}) EXPECT_EQ(rec[empty - 1], "") << empty;
  const std::map<int, std::string> want = {
      {1, " Two traits, example data set" + std::string(51, ' ')},
      {5, " Selected coefficient of relationship:  1.00"},
      {9, "      0.300000"},
      {10, "      0.100000      0.200000"},
      {14, "      0.700000"},
      {15, "      0.150000      0.800000"},
      {23, "    0.30    0.25"},
      {24, "    0.41    0.20"},
      {27, " Results after bending with \"fixed\" bending factor"},
      {28, " " + std::string(49, '=')},
      {29, " Used bending factor:  0.300"},
      {33, "      0.278372"},
      {34, "      0.084651      0.218140"},
      {38, "      0.978372"},
      {39, "      0.234651      1.018140"},
      {47, "    0.28    0.24"},
      {48, "    0.34    0.21"},
  };
  for (const auto& [n, text] : want) EXPECT_EQ(rec[static_cast<std::size_t>(n - 1)], text) << "record " << n;
}

TEST(WorkedExample, OptimizedProcedureChooses0514) {
  const std::vector<std::string> rec = run_example("1\n1\n1\n");
  ASSERT_EQ(rec.size(), 57u);
  const std::map<int, std::string> want = {
      {22, "  0.30"},
      {23, "  0.40  0.25"},
      {31, "    0.30    0.25"},
      {32, "    0.41    0.20"},
      {37, " Used bending factor:  0.514"},
      {38, " Used trait weights: --> all equal!"},
      {42, "      0.262944"},
      {43, "      0.073702      0.231079"},
      {47, "      0.962944"},
      {48, "      0.223702      1.031079"},
      {56, "    0.27    0.22"},
      {57, "    0.30    0.22"},
  };
  for (const auto& [n, text] : want) EXPECT_EQ(rec[static_cast<std::size_t>(n - 1)], text) << "record " << n;
}

}  // namespace
}  // namespace vcshrink::testing
