// The run summary: every double back bit for bit, undefined values as null, the
// parameter matrices as named parts, and only what the procedure formed.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "summary/summary.h"

namespace vcshrink::testing {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// Two traits, fixed procedure, with doubles that need all 17 digits to come back.
RunState fixed_run() {
  RunState s;
  s.title = "Two traits" + std::string(70, ' ');
  s.nt = 2;
  s.proc = 2;
  s.coefficient = 0.25;
  s.bf = s.bf_used = 0.3;
  s.G(1, 1) = 0.1 + 0.2, s.G(2, 1) = s.G(1, 2) = 1.0 / 3.0, s.G(2, 2) = 5e-324;
  s.R(1, 1) = 1e300, s.R(2, 2) = -0.0;
  s.GFADJ(1, 1) = 2.0, s.GFADJ(2, 2) = 5e-7;  // trait 2 below the zero-variance limit
  // Parameters: heritabilities on the diagonal, genetic correlation below, phenotypic above.
  s.PARADJ(1, 1) = 0.4, s.PARADJ(2, 2) = NaN, s.PARADJ(2, 1) = 0.0, s.PARADJ(1, 2) = 0.0;
  s.nzero_adj = 1;
  s.PAR(1, 1) = 0.3, s.PAR(2, 2) = Inf, s.PAR(2, 1) = 0.55, s.PAR(1, 2) = -0.25;
  s.GF(1, 1) = 1.2, s.GF(2, 2) = 1.0;
  return s;
}

nlohmann::json parse(const RunState& s) { return nlohmann::json::parse(summary_json(s, "9.9")); }

TEST(Summary, DoublesComeBackBitForBitAndUndefinedValuesAreNull) {
  const RunState s = fixed_run();
  const nlohmann::json j = parse(s);
  const auto& g = j["matrices"]["genetic"];
  EXPECT_EQ(bits(g[0][0].get<double>()), bits(s.G(1, 1)));
  EXPECT_EQ(bits(g[0][1].get<double>()), bits(s.G(1, 2)));
  EXPECT_EQ(bits(g[1][1].get<double>()), bits(5e-324));
  EXPECT_EQ(bits(j["matrices"]["residual"][0][0].get<double>()), bits(1e300));
  EXPECT_EQ(bits(j["matrices"]["residual"][1][1].get<double>()), bits(-0.0));
  EXPECT_EQ(bits(j["coefficient"].get<double>()), bits(0.25));
  EXPECT_EQ(bits(j["bending_factor"].get<double>()), bits(0.3));
  EXPECT_TRUE(j["parameters_after"]["heritabilities"][1].is_null());   // NaN
  EXPECT_TRUE(j["parameters_before"]["heritabilities"][1].is_null());  // +Inf
}

TEST(Summary, ParametersAreNamedPartsWithTheZeroedTraits) {
  const nlohmann::json j = parse(fixed_run());
  const auto& before = j["parameters_before"];
  EXPECT_EQ(before["heritabilities"][0], 0.3);
  EXPECT_EQ(before["genetic_correlations"], nlohmann::json::parse("[[1.0, 0.55], [0.55, 1.0]]"));
  EXPECT_EQ(before["phenotypic_correlations"], nlohmann::json::parse("[[1.0, -0.25], [-0.25, 1.0]]"));
  EXPECT_EQ(before["zeroed_traits"], nlohmann::json::array());
  const auto& after = j["parameters_after"];
  EXPECT_EQ(after["zeroed_traits"], nlohmann::json::parse("[2]"));
  EXPECT_EQ(after["zeroed_pairs"], 1);
}

TEST(Summary, FixedProcedureHasNoWeightsPriorOrSearch) {
  const nlohmann::json j = parse(fixed_run());
  EXPECT_EQ(j["procedure"], "fixed");
  EXPECT_EQ(j["version"], "9.9");
  EXPECT_EQ(j["title"], "Two traits");
  EXPECT_EQ(j["traits"], 2);
  EXPECT_TRUE(j["weights"].is_null());
  EXPECT_TRUE(j["matrices"]["prior"].is_null());
  EXPECT_TRUE(j["search"].is_null());
  // Without a positive definite residual matrix there are no eigenvalues.
  EXPECT_EQ(j["eigenvalues"]["residual_positive_definite"], false);
  EXPECT_TRUE(j["eigenvalues"]["before"].is_null());
  EXPECT_TRUE(j["eigenvalues"]["smallest_positive_definite_factor"].is_null());
}

TEST(Summary, OptimizedProcedureHasEveryScoreAndTheEigenvalues) {
  RunState s = fixed_run();
  s.proc = 1;
  s.W(1) = 1.0, s.W(2) = 0.5;
  s.PRIOR(1, 1) = 0.3;
  for (int k = 0; k < GridSize; ++k) s.RHO[static_cast<std::size_t>(k)] = 0.4 + 1e-4 * k / 3.0;
  s.RHO[7] = NaN;
  s.kbest = 1000, s.rho_best = s.RHO[1000], s.bf_used = 0.001 * 1000;
  s.r_positive_definite = true;
  s.EIG(1) = -0.125, s.EIG(2) = 0.75;
  s.EIGADJ(1) = 0.1, s.EIGADJ(2) = 0.2;
  s.gadj_positive_definite = true;
  s.kpd = 9;
  const nlohmann::json j = parse(s);
  EXPECT_EQ(j["procedure"], "optimized");
  EXPECT_EQ(j["weights"], nlohmann::json::parse("[1.0, 0.5]"));
  EXPECT_EQ(j["matrices"]["prior"][0][0], 0.3);
  const auto& scores = j["search"]["scores"];
  ASSERT_EQ(scores.size(), 1001u);
  EXPECT_TRUE(scores[7].is_null());
  for (int k : {0, 1, 500, 1000}) EXPECT_EQ(bits(scores[k].get<double>()), bits(s.RHO[static_cast<std::size_t>(k)])) << k;
  EXPECT_EQ(j["search"]["best_index"], 1000);
  EXPECT_EQ(bits(j["search"]["best_score"].get<double>()), bits(s.rho_best));
  const auto& e = j["eigenvalues"];
  EXPECT_EQ(e["before"], nlohmann::json::parse("[-0.125, 0.75]"));
  EXPECT_EQ(e["after"], nlohmann::json::parse("[0.1, 0.2]"));
  EXPECT_EQ(e["bent_positive_definite"], true);
  // The grid factor 0.001 * 9, not 9 / 1000.
  EXPECT_EQ(bits(e["smallest_positive_definite_factor"].get<double>()), bits(0.001 * 9));
}

TEST(Summary, TitleWithInvalidUtf8StillGivesAValidDocument) {
  RunState s = fixed_run();
  s.title = "bad \xFF\xC3 title \x01 ";
  nlohmann::json j;
  ASSERT_NO_THROW(j = parse(s));
  EXPECT_EQ(j["title"], "bad \xEF\xBF\xBD\xEF\xBF\xBD title \x01");
}

TEST(Summary, EachMatrixRowIsOneLineForAReader) {
  const std::string text = summary_json(fixed_run(), "9.9");
  EXPECT_NE(text.find("\n \"bending_factor\": 0.3,\n"), std::string::npos);
  EXPECT_NE(text.find("\n   [0.30000000000000004, 0.3333333333333333],\n"), std::string::npos) << text;
  EXPECT_EQ(text.back(), '\n');
}

}  // namespace
}  // namespace vcshrink::testing
