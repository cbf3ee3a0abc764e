// Whole runs with the command-line options: the summary and the picture next to an
// unchanged report, the summary's numbers against the program's own doubles, the
// failures of the extra files, and what --help, --version and wrong options do.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "bending/bending.h"
#include "run_program.h"
#include "xml_check.h"

namespace vcshrink::testing {
namespace {

namespace fs = std::filesystem;

const std::string end_lines = "Program Completed\nPress Enter to Continue.\n";
const std::string usage = "usage: vcshrink [--help] [--version] [--summary FILE] [--plot FILE] [--positive-definite]\n";

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// The bundled example `stem` run with --summary and --plot: same console and report as
// without them, and both extra files written.
struct ExampleRun {
  nlohmann::json summary;
  std::string svg;
};

ExampleRun run_example(const std::string& stem) {
  ExampleDir plain, with;
  const std::string answers = read_file(examples / (stem + ".answers"));
  const ProgramResult a = run_program(plain.path(), answers);
  const ProgramResult b = run_with_args(with.path(), answers, {"--summary", "run.json", "--plot=run.svg"});
  EXPECT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(b.status, a.status);
  EXPECT_EQ(b.out, a.out);
  EXPECT_EQ(b.err, a.err);
  EXPECT_EQ(read_file(with / (stem + ".out")), read_file(examples / (stem + ".report")));
  ExampleRun r;
  const std::string json = read_file(with / "run.json");
  EXPECT_NO_THROW(r.summary = nlohmann::json::parse(json)) << json.substr(0, 200);
  r.svg = read_file(with / "run.svg");
  EXPECT_EQ(xml_problem(r.svg), "");
  return r;
}

// The two-trait example's matrices in a run record, as the program reads them.
RunState two_traits(int proc) {
  RunState s;
  s.nt = 2;
  s.proc = proc;
  s.coefficient = 1.0;
  s.cr = 1.0 / 1.0;
  s.G(1, 1) = 0.30, s.G(2, 1) = s.G(1, 2) = 0.10, s.G(2, 2) = 0.20;
  s.R(1, 1) = 0.70, s.R(2, 1) = s.R(1, 2) = 0.15, s.R(2, 2) = 0.80;
  s.PRIOR(1, 1) = 0.30, s.PRIOR(2, 1) = s.PRIOR(1, 2) = 0.40, s.PRIOR(2, 2) = 0.25;
  s.W(1) = s.W(2) = 1.0;
  s.wchoice = 1;
  prepare_covariances(s);
  if (proc == 2) {
    s.bf = 0.3;
    run_fixed_procedure(s);
  } else {
    optimize_bending(s);
  }
  return s;
}

void expect_matrix_bits(const nlohmann::json& m, const TraitMatrix& want, int nt, const std::string& what) {
  ASSERT_EQ(m.size(), static_cast<std::size_t>(nt)) << what;
  for (int i = 1; i <= nt; ++i) {
    ASSERT_EQ(m[i - 1].size(), static_cast<std::size_t>(nt)) << what;
    for (int j = 1; j <= nt; ++j) {
      EXPECT_EQ(bits(m[i - 1][j - 1].get<double>()), bits(want(i, j))) << what << " (" << i << "," << j << ")";
    }
  }
}

TEST(ExtraFiles, FixedTwoTraitSummaryHoldsTheProgramsDoubles) {
  const ExampleRun r = run_example("two-traits-fixed");
  const nlohmann::json& j = r.summary;
  const RunState s = two_traits(2);
  EXPECT_EQ(j["procedure"], "fixed");
  EXPECT_EQ(j["title"], "Two traits, example data set");
  EXPECT_EQ(bits(j["bending_factor"].get<double>()), bits(0.3));
  const auto& m = j["matrices"];
  expect_matrix_bits(m["genetic"], s.G, 2, "genetic");
  expect_matrix_bits(m["genetic_bent"], s.GADJ, 2, "genetic_bent");
  expect_matrix_bits(m["genetic_full_bent"], s.GFADJ, 2, "genetic_full_bent");
  expect_matrix_bits(m["phenotypic_bent"], s.PADJ, 2, "phenotypic_bent");
  // The report's rounded figures for the bent matrix: 0.278372, 0.084651, 0.218140.
  EXPECT_NEAR(m["genetic_full_bent"][0][0].get<double>(), 0.278372, 5e-7);
  EXPECT_NEAR(m["genetic_full_bent"][1][0].get<double>(), 0.084651, 5e-7);
  EXPECT_NEAR(m["genetic_full_bent"][1][1].get<double>(), 0.218140, 5e-7);
  EXPECT_EQ(bits(j["parameters_after"]["heritabilities"][0].get<double>()), bits(s.PARADJ(1, 1)));
  EXPECT_EQ(bits(j["parameters_after"]["genetic_correlations"][0][1].get<double>()), bits(s.PARADJ(2, 1)));
  EXPECT_EQ(bits(j["parameters_after"]["phenotypic_correlations"][1][0].get<double>()), bits(s.PARADJ(1, 2)));
  EXPECT_TRUE(j["search"].is_null());
  EXPECT_EQ(r.svg.find("<polyline"), std::string::npos);
  // G and R are positive definite: so is every bent matrix.
  EXPECT_EQ(j["eigenvalues"]["residual_positive_definite"], true);
  EXPECT_EQ(j["eigenvalues"]["bent_positive_definite"], true);
  EXPECT_EQ(j["eigenvalues"]["smallest_positive_definite_factor"], 0.0);
}

TEST(ExtraFiles, OptimizedTwoTraitSummaryHoldsEveryScore) {
  const ExampleRun r = run_example("two-traits-optimized");
  const nlohmann::json& j = r.summary;
  const RunState s = two_traits(1);
  EXPECT_EQ(j["procedure"], "optimized");
  EXPECT_EQ(bits(j["bending_factor"].get<double>()), bits(0.001 * 514));
  EXPECT_EQ(j["search"]["best_index"], 514);
  const auto& scores = j["search"]["scores"];
  ASSERT_EQ(scores.size(), 1001u);
  for (std::size_t k = 0; k < scores.size(); ++k) ASSERT_EQ(bits(scores[k].get<double>()), bits(s.RHO[k])) << k;
  EXPECT_EQ(bits(j["search"]["best_score"].get<double>()), bits(s.rho_best));
  expect_matrix_bits(j["matrices"]["genetic_full_bent"], s.GFADJ, 2, "genetic_full_bent");
  expect_matrix_bits(j["matrices"]["prior"], s.PRIOR, 2, "prior");
  EXPECT_EQ(j["weights"], nlohmann::json::parse("[1.0, 1.0]"));
  EXPECT_NE(r.svg.find("chosen 0.514"), std::string::npos);
}

// The sire matrix of the dairy example is not positive definite: its smallest eigenvalue
// is negative, and bending by the chosen factor does not yet lift it above zero.
TEST(ExtraFiles, DairySummaryShowsWhereThePositiveDefiniteRegionStarts) {
  const ExampleRun r = run_example("dairy-six-traits");
  const nlohmann::json& j = r.summary;
  EXPECT_EQ(j["traits"], 6);
  EXPECT_EQ(j["coefficient"], 0.25);
  EXPECT_EQ(j["weights"], nlohmann::json::parse("[1.0, 0.8, 0.8, 0.3, 0.5, 0.4]"));
  const double f = j["bending_factor"].get<double>();
  EXPECT_EQ(bits(f), bits(0.001 * j["search"]["best_index"].get<int>()));
  // Bent matrices on the two scales, and the phenotypic one, agree bit for bit.
  const auto& m = j["matrices"];
  for (int a = 0; a < 6; ++a) {
    for (int b = 0; b < 6; ++b) {
      const double g = m["genetic_bent"][a][b].get<double>();
      EXPECT_EQ(bits(m["genetic_full_bent"][a][b].get<double>()), bits((1.0 / 0.25) * g));
      EXPECT_EQ(bits(m["phenotypic_bent"][a][b].get<double>()), bits(g + m["residual"][a][b].get<double>()));
    }
  }
  const auto& e = j["eigenvalues"];
  ASSERT_EQ(e["residual_positive_definite"], true);
  const auto& before = e["before"];
  const auto& after = e["after"];
  ASSERT_EQ(before.size(), 6u);
  ASSERT_EQ(after.size(), 6u);
  const double mean = e["mean"].get<double>();
  double sum = 0;
  for (int k = 0; k < 6; ++k) {
    if (k > 0) {
      EXPECT_LE(before[k - 1].get<double>(), before[k].get<double>());
    }
    sum += before[k].get<double>();
    EXPECT_NEAR(after[k].get<double>(), (1 - f) * before[k].get<double>() + f * mean, 1e-12);
  }
  EXPECT_NEAR(sum / 6, mean, 1e-12);
  EXPECT_LT(before[0].get<double>(), 0.0);
  EXPECT_EQ(e["bent_positive_definite"], after[0].get<double>() > 0);
  const double fpd = e["smallest_positive_definite_factor"].get<double>();
  const double lambda = before[0].get<double>();
  EXPECT_GT((1 - fpd) * lambda + fpd * mean, 0.0);
  EXPECT_LE((1 - (fpd - 0.001)) * lambda + (fpd - 0.001) * mean, 0.0);
  EXPECT_NE(r.svg.find("bent matrix positive definite"), std::string::npos);
}

TEST(ExtraFiles, ShippedPictureIsWhatTheDairyExampleDraws) {
  ExampleDir dir;
  const ProgramResult r =
      run_with_args(dir.path(), read_file(examples / "dairy-six-traits.answers"), {"--plot", "dairy.svg"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(read_file(dir / "dairy.svg") == read_file(examples / "dairy-six-traits.svg"))
      << "examples/dairy-six-traits.svg differs from what the program draws now";
}

TEST(ExtraFiles, HelpVersionAndWrongOptionsStartNoDialogue) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out_starts, err;
  };
  const std::vector<Case> cases = {
      {{"--version"}, 0, "vcshrink " VCSHRINK_VERSION "\n", ""},
      {{"--help"}, 0, "Bends an additive genetic", ""},
      {{"--frobnicate"}, 1, "", "vcshrink: The following argument was not expected: --frobnicate\n" + usage},
      {{"--summary"}, 1, "", "vcshrink: --summary: 1 required FILE missing\n" + usage},
      {{"--plot", "p.svg", "stray"}, 1, "", "vcshrink: The following argument was not expected: stray\n" + usage},
  };
  for (const Case& c : cases) {
    ExampleDir dir;
    const ProgramResult r = run_with_args(dir.path(), read_file(examples / "two-traits-fixed.answers"), c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0];
    EXPECT_EQ(r.out.rfind(c.out_starts, 0), 0u) << c.args[0] << ": " << r.out;
    if (c.args[0] == "--version") {
      EXPECT_EQ(r.out, c.out_starts);
    }
    EXPECT_EQ(r.err, c.err) << c.args[0];
    EXPECT_FALSE(fs::exists(dir / "two-traits-fixed.out")) << c.args[0] << ": the dialogue ran";
  }
}

TEST(ExtraFiles, SummaryThatCannotBeWrittenIsStatusOneAfterTheReport) {
  ExampleDir dir;
  const ProgramResult r = run_with_args(dir.path(), read_file(examples / "two-traits-fixed.answers"),
                                   {"--summary", "no-such-dir/run.json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "no-such-dir/run.json: cannot write the summary file: No such file or directory\n" + end_lines);
  EXPECT_EQ(read_file(dir / "two-traits-fixed.out"), read_file(examples / "two-traits-fixed.report"));
}

// A summary too large for the file-size limit (the report fits): the old summary and
// the old picture stay as they were, and no temporary file is left behind.
TEST(ExtraFiles, FailedWriteKeepsTheOldFiles) {
  ExampleDir dir;
  write_file(dir / "run.json", "old summary\n");
  write_file(dir / "run.svg", "old picture\n");
  const ProgramResult r = run_with_args(dir.path(), read_file(examples / "two-traits-optimized.answers"),
                                   {"--summary", "run.json", "--plot", "run.svg"}, 8192);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "run.json: cannot write the summary file: File too large\n" + end_lines);
  EXPECT_EQ(read_file(dir / "run.json"), "old summary\n");
  EXPECT_EQ(read_file(dir / "run.svg"), "old picture\n");
  EXPECT_EQ(read_file(dir / "two-traits-optimized.out"), read_file(examples / "two-traits-optimized.report"));
  std::set<std::string> left;
  for (const auto& e : fs::directory_iterator(dir.path())) left.insert(e.path().filename().string());
  EXPECT_EQ(left, (std::set<std::string>{"dairy-six-traits.dat", "two-traits.dat", "two-traits-optimized.out",
                                         "run.json", "run.svg"}));
}

TEST(ExtraFiles, NeitherFileReplacesTheInputTheReportOrTheSummary) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"--summary", "two-traits.dat"}, "two-traits.dat: cannot write the summary file: it is the input file\n"},
      {{"--plot", "./two-traits-fixed.out"}, "./two-traits-fixed.out: cannot write the plot file: it is the report file\n"},
      {{"--summary", "x", "--plot", "x"}, "x: cannot write the plot file: it is the summary file\n"},
  };
  for (const Case& c : cases) {
    ExampleDir dir;
    const std::string input = read_file(dir / "two-traits.dat");
    const ProgramResult r = run_with_args(dir.path(), read_file(examples / "two-traits-fixed.answers"), c.args);
    EXPECT_EQ(r.status, 1) << c.err;
    EXPECT_EQ(r.err, c.err + end_lines);
    EXPECT_EQ(read_file(dir / "two-traits.dat"), input);
    EXPECT_EQ(read_file(dir / "two-traits-fixed.out"), read_file(examples / "two-traits-fixed.report"));
  }
}

TEST(ExtraFiles, ReplacedFileKeepsItsPermissions) {
  ExampleDir dir;
  write_file(dir / "run.json", "old\n");
  fs::permissions(dir / "run.json", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const ProgramResult r =
      run_with_args(dir.path(), read_file(examples / "two-traits-fixed.answers"), {"--summary", "run.json"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(fs::status(dir / "run.json").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_NE(read_file(dir / "run.json"), "old\n");
}

}  // namespace
}  // namespace vcshrink::testing
