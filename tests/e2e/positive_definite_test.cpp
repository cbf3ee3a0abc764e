// Whole runs with --positive-definite: the optimized choice among the factors that
// leave the genetic matrix positive definite, a typed factor below them asked again,
// the end with status 3 when no factor can, and runs it does not change.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "run_program.h"

namespace vcshrink::testing {
namespace {

namespace fs = std::filesystem;

const std::string end_lines = "Program Completed\nPress Enter to Continue.\n";

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// The report from the adjusted matrices on: the bent matrices and the parameters after
// bending, without the procedure's heading and the factor line.
std::string after_bending(const std::string& report) {
  const std::size_t at = report.find(" Adjusted (full) additive genetic VC-matrix");
  EXPECT_NE(at, std::string::npos);
  return at == std::string::npos ? std::string() : report.substr(at);
}

// The dialogue's prompts up to the procedure question, as the console shows them.
const std::string opening =
    "    Name of input file?  -->  \n"
    "    Name of output file? -->  \n"
    "\n"
    "    Coefficient of relationship (cr)?\n"
    "    e.g. halfsib analysis:   cr = .25,\n"
    "    e.g. fullsib analysis:   cr = .50,\n"
    "    e.g. any animal model:   cr = 1\n"
    "\n"
    "                             cr?           -->  \n"
    "\n"
    "    Use of the \"optimized\" procedure? (1)\n"
    "    Use of a \"fixed\" bending factor?  (2)  -->  \n";
const std::string factor_question =
    "\n"
    "    Selected value for bending factor?\n"
    "    (factor must be between 0 and 1)       -->  \n";

// The dairy sire matrix is indefinite: its smallest eigenvalue of R^-1 G is about
// -0.00694 and the mean 0.0581, so every bent eigenvalue is positive from the factor
// 0.106686 on, the grid factor 0.107. Over the whole grid the best score, 0.5767893816656853,
// is at 0.077; the scores fall from there, so the best from 0.107 on is at 0.107 itself,
// 0.5767132482921332: 0.0000761 less.
TEST(PositiveDefinite, DairyChoosesTheBestFactorThatLeavesGPositiveDefinite) {
  ExampleDir plain, pd, fixed;
  const std::string answers = read_file(examples / "dairy-six-traits.answers");
  const ProgramResult a = run_program(plain.path(), answers);
  const ProgramResult b =
      run_with_args(pd.path(), answers, {"--positive-definite", "--summary", "s.json", "--plot", "p.svg"});
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(b.out, a.out);
  EXPECT_EQ(b.err, end_lines);  // no warning of an indefinite result
  EXPECT_NE(a.err, end_lines);

  const nlohmann::json j = nlohmann::json::parse(read_file(pd / "s.json"));
  const auto& g = j["search"];
  EXPECT_EQ(g["best_index"], 107);
  EXPECT_EQ(bits(g["best_score"].get<double>()), bits(0.5767132482921332));
  EXPECT_EQ(bits(j["bending_factor"].get<double>()), bits(0.001 * 107));
  EXPECT_EQ(g["positive_definite_only"], true);
  EXPECT_EQ(g["restriction_applied"], true);
  EXPECT_EQ(g["unrestricted_index"], 77);
  EXPECT_EQ(bits(g["unrestricted_bending_factor"].get<double>()), bits(0.001 * 77));
  EXPECT_EQ(bits(g["unrestricted_score"].get<double>()), bits(0.5767893816656853));
  EXPECT_EQ(j["eigenvalues"]["bent_positive_definite"], true);

  // Against the full grid: a factor is positive definite exactly from 107 on, 107 is the
  // first strictly best score among those, and 77 the first strictly best of all.
  const auto& e = j["eigenvalues"];
  const double lambda = e["before"][0].get<double>(), mean = e["mean"].get<double>();
  const auto& scores = g["scores"];
  ASSERT_EQ(scores.size(), 1001u);
  int best_pd = -1, best_all = -1;
  for (int k = 0; k <= 1000; ++k) {
    const double f = 0.001 * k;
    EXPECT_EQ((1.0 - f) * lambda + f * mean > 0.0, k >= 107) << k;
    const double r = scores[static_cast<std::size_t>(k)].get<double>();
    if (best_all < 0 || r > scores[static_cast<std::size_t>(best_all)].get<double>()) best_all = k;
    if (k >= 107 && (best_pd < 0 || r > scores[static_cast<std::size_t>(best_pd)].get<double>())) best_pd = k;
  }
  EXPECT_EQ(best_pd, 107);
  EXPECT_EQ(best_all, 77);

  // The report is that of the unrestricted run but for the factor and what it bends;
  // those equal a fixed run at 0.107.
  const std::string report = read_file(pd / "dairy-six-traits.out");
  EXPECT_NE(report.find(" Used bending factor:  0.107\r\n"), std::string::npos);
  const ProgramResult c =
      run_with_args(fixed.path(), "dairy-six-traits.dat\nfixed.out\n.25\n2\n0.107\n", {"--positive-definite"});
  ASSERT_EQ(c.status, 0) << c.err;
  EXPECT_EQ(after_bending(report), after_bending(read_file(fixed / "fixed.out")));
  EXPECT_NE(after_bending(report), after_bending(read_file(plain / "dairy-six-traits.out")));

  const std::string svg = read_file(pd / "p.svg");
  EXPECT_NE(svg.find(">chosen 0.107<"), std::string::npos);
  EXPECT_NE(svg.find(">unrestricted 0.077<"), std::string::npos);
}

// Positive definite from the start (the two-trait example) or already at the chosen
// factor: the option changes neither the console, nor the report, nor the picture.
TEST(PositiveDefinite, RunsAlreadyPositiveDefiniteAreUnchanged) {
  for (const std::string stem : {"two-traits-optimized", "two-traits-fixed"}) {
    ExampleDir plain, pd;
    const std::string answers = read_file(examples / (stem + ".answers"));
    const ProgramResult a = run_with_args(plain.path(), answers, {"--plot", "p.svg"});
    const ProgramResult b =
        run_with_args(pd.path(), answers, {"--positive-definite", "--plot", "p.svg", "--summary", "s.json"});
    EXPECT_EQ(b.status, 0) << stem << b.err;
    EXPECT_EQ(b.out, a.out) << stem;
    EXPECT_EQ(b.err, a.err) << stem;
    EXPECT_EQ(read_file(pd / (stem + ".out")), read_file(examples / (stem + ".report"))) << stem;
    EXPECT_EQ(read_file(pd / "p.svg"), read_file(plain / "p.svg")) << stem;
    const nlohmann::json j = nlohmann::json::parse(read_file(pd / "s.json"));
    if (stem == "two-traits-optimized") {
      EXPECT_EQ(j["search"]["restriction_applied"], false);
      EXPECT_EQ(j["search"]["unrestricted_index"], j["search"]["best_index"]);
    }
  }
}

// A typed factor that leaves G indefinite is refused like one outside 0..1, by the exact
// eigenvalue: 0.1066 lies below the limit 0.106686 and 0.1067 above it, both off the grid.
TEST(PositiveDefinite, FixedFactorBelowTheLimitIsAskedAgain) {
  ExampleDir dir;
  write_file(dir / "old.out", "older report\n");
  const ProgramResult r =
      run_with_args(dir.path(), "dairy-six-traits.dat\nold.out\n.25\n2\n0.1066\n1.5\n0.1067\n", {"--positive-definite"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, opening + factor_question +
                       "    Bending factor must be at least 0.107 for a positive definite genetic matrix!\n" +
                       factor_question + "    Bending factor must be between 0 and 1!\n" + factor_question);
  EXPECT_EQ(r.err, end_lines);
  const std::string report = read_file(dir / "old.out");
  EXPECT_NE(report.find(" Used bending factor:  0.107\r\n"), std::string::npos);
  EXPECT_EQ(report.find("older report"), std::string::npos);
}

// When no factor in 0..1 gives a positive definite G, the run ends with status 3 after
// the dialogue and before the report: an older report stays as it was.
TEST(PositiveDefinite, NoPositiveDefiniteFactorEndsWithStatusThree) {
  const std::string mean_not_positive =
      "no bending factor can make the genetic matrix positive definite: the mean eigenvalue of R^-1 G, -0.25, is "
      "not positive\n";
  const std::string residual_indefinite =
      "the residual matrix R is not positive definite: no bending factor can make the genetic matrix so\n";
  struct Case {
    std::string name, dat, answers, out, err;
    int status_without;  // without the option: a report, or a search that meets a singular matrix
  };
  // G = diag(-1, 0.5) with R = I: eigenvalues -1 and 0.5, mean -0.25. R with rows (1),
  // (2, 1) can be inverted but is indefinite.
  const std::string negative_mean = "Mean below zero\n2\n-1\n0 0.5\n1\n0 1\n0.3\n0.1 0.3\n";
  const std::string indefinite_r = "Indefinite R\n2\n1\n0 1\n1\n2 1\n0.3\n0.1 0.3\n";
  const std::string weights = "\n    Equal (1) \n    or different (2) trait weights?        -->  \n";
  const std::vector<Case> cases = {
      {"mean, fixed", negative_mean, "m.dat\nold.out\n1\n2\n0.5\n", opening + factor_question, mean_not_positive, 0},
      {"mean, optimized", negative_mean, "m.dat\nold.out\n1\n1\n1\n", opening + weights, mean_not_positive, 2},
      {"residual, fixed", indefinite_r, "m.dat\nold.out\n1\n2\n1\n", opening + factor_question, residual_indefinite, 0},
      {"residual, optimized", indefinite_r, "m.dat\nold.out\n1\n1\n1\n", opening + weights, residual_indefinite, 2},
  };
  for (const Case& c : cases) {
    TempDir dir;
    write_file(dir / "m.dat", c.dat);
    write_file(dir / "old.out", "older report\n");
    const ProgramResult r = run_with_args(dir.path(), c.answers, {"--positive-definite", "--summary", "s.json"});
    EXPECT_EQ(r.status, 3) << c.name;
    EXPECT_EQ(r.out, c.out) << c.name;
    EXPECT_EQ(r.err, c.err + end_lines) << c.name;
    EXPECT_EQ(read_file(dir / "old.out"), "older report\n") << c.name;
    EXPECT_FALSE(fs::exists(dir / "s.json")) << c.name;
    EXPECT_EQ(run_program(dir.path(), c.answers).status, c.status_without) << c.name;
  }
}

}  // namespace
}  // namespace vcshrink::testing
