// The warnings of the bending steps, line by line: prior values out of range, units far
// from 1, R not positive definite, the bent genetic matrix not positive definite; and
// the figures behind the last one (eigenvalues before and after bending, the factor
// from which the bent matrix is positive definite); the end without a chosen factor.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bending/bending.h"
#include "bending/definiteness.h"
#include "bending/plausibility.h"
#include "run/end_run.h"
#include "bending_fixture.h"

namespace vcshrink {
namespace {

using testing::make_state;
using testing::Rows;

class CollectedWarnings final : public Warnings {
 public:
  std::vector<std::string> lines;
  void line(const std::string& text) override { lines.push_back(text); }
};

const Rows TwoG = {{0.30}, {0.10, 0.20}};
const Rows TwoR = {{0.70}, {0.15, 0.80}};
const Rows TwoPrior = {{0.30}, {0.40, 0.25}};
const Rows DairyG = {{2.7},
                     {-0.078428, 0.011250},
                     {-0.024801, 0.004002, 0.002531},
                     {0.077942, 0.001006, 0.000955, 0.036000},
                     {0.066136, -0.001067, -0.000253, 0.016228, 0.010125},
                     {0.025562, 0.000825, 0.000783, 0.023613, -0.004696, 0.024200}};
const Rows DairyR = {{33.3},
                     {-0.461572, 0.078750},
                     {-0.155199, 0.020748, 0.019969},
                     {0.282058, 0.006194, 0.004445, 1.404000},
                     {0.743864, -0.004333, -0.002447, 0.091772, 0.799875},
                     {0.304438, 0.005775, 0.005817, 0.174387, 0.103696, 1.185800}};
const Rows DairyPrior = {{0.30},
                         {-0.45, 0.50},
                         {-0.30, 0.75, 0.45},
                         {0.25, 0.05, 0.10, 0.10},
                         {0.40, -0.10, -0.05, 0.50, 0.05},
                         {0.10, 0.05, 0.10, 0.45, 0.20, 0.08}};
const std::vector<double> DairyWeights = {1.0, 0.8, 0.8, 0.3, 0.5, 0.4};

RunState dairy() { return make_state(DairyG, DairyR, DairyPrior, 0.25, DairyWeights); }

// The fixed procedure with factor bf on s.
RunState fixed(RunState s, double bf) {
  s.proc = 2;
  s.bf = bf;
  return s;
}

// The bending steps in the order of a run, the warnings collected.
std::vector<std::string> warnings_of(RunState& s) {
  CollectedWarnings w;
  if (s.proc == 1) warn_prior_ranges(s, w);
  warn_units(s, w);
  check_residual_definiteness(s, w);
  prepare_covariances(s);
  if (s.proc == 2) {
    run_fixed_procedure(s);
  } else {
    optimize_bending(s);
  }
  check_bent_definiteness(s, w);
  return w.lines;
}

const std::string NotPd = "warning: the bent genetic matrix is not positive definite: the smallest eigenvalue of R^-1 G is ";

TEST(BendingWarnings, EachWarningItsExactLineAndWellFormedInputsNone) {
  struct Case {
    const char* what;
    RunState state;
    std::vector<std::string> lines;
  };
  RunState two_small_units = make_state(TwoG, TwoR, TwoPrior, 1.0);
  RunState two_large_units = two_small_units;
  for (int j = 1; j <= 2; ++j)
    for (int i = 1; i <= 2; ++i) {
      // Trait 1 in units 1000 times larger (variance 1e6 times smaller); both traits 1e5
      // times smaller (variances 1e10 times larger).
      const double f = (i == 1 ? 1e-3 : 1.0) * (j == 1 ? 1e-3 : 1.0);
      two_small_units.G(i, j) *= f;
      two_small_units.R(i, j) *= f;
      two_large_units.G(i, j) *= 1e10;
      two_large_units.R(i, j) *= 1e10;
    }
  const Case cases[] = {
      {"two traits, optimized", make_state(TwoG, TwoR, TwoPrior, 1.0), {}},
      {"two traits, fixed", fixed(make_state(TwoG, TwoR, {}, 1.0), 0.3), {}},
      {"dairy, fixed beyond the factor that suffices", fixed(dairy(), 0.107), {}},
      {"prior values at the ends of their ranges", make_state(TwoG, TwoR, {{0.0}, {-1.0, 1.0}}, 1.0), {}},
      {"dairy, optimized factor 0.077",
       dairy(),
       {NotPd + "-0.00694 before bending and -0.00193 after; every eigenvalue is positive from bending factor 0.107"}},
      {"dairy, fixed factor just short", fixed(dairy(), 0.106),
       {NotPd + "-0.00694 before bending and -4.46e-05 after; every eigenvalue is positive from bending factor 0.107"}},
      // G = diag(-1, 0.5), R = I: the eigenvalues -1 and 0.5 have the mean -0.25.
      {"mean eigenvalue not positive", fixed(make_state({{-1}, {0, 0.5}}, {{1}, {0, 1}}, {}, 1.0), 0.5),
       {NotPd + "-1 before bending and -0.625 after; no bending factor can make it positive definite, as the mean "
                "eigenvalue -0.25 is not positive"}},
      // R with rows (1), (2, 1) inverts (pivots 1 and -3) but is indefinite.
      {"R not positive definite", fixed(make_state(TwoG, {{1}, {2, 1}}, {}, 1.0), 0.3),
       {"warning: the residual matrix R is not positive definite; whether the bent genetic matrix is positive "
        "definite is not checked"}},
      {"prior heritability and genetic correlation out of range", make_state(TwoG, TwoR, {{1.2}, {-1.5, 0.25}}, 1.0),
       {"warning: the prior heritability of trait 1 is 1.2, outside 0..1",
        "warning: the prior genetic correlation of traits 1 and 2 is -1.5, outside -1..1"}},
      {"the fixed procedure reads no prior", fixed(make_state(TwoG, TwoR, {{1.2}, {-1.5, 0.25}}, 1.0), 0.3), {}},
      {"one trait's units far too large", two_small_units,
       {"warning: the phenotypic variance of trait 1 is 1e-06, outside 1e-04..1e+07, where results do not depend "
        "on the units; express trait 1 in units 10^3 times smaller (variance 1)"}},
      {"every trait's units far too small", two_large_units,
       {"warning: the phenotypic variance of trait 1 is 1e+10, outside 1e-04..1e+07, where results do not depend "
        "on the units; express trait 1 in units 10^5 times larger (variance 1)",
        "warning: the phenotypic variance of trait 2 is 1e+10, outside 1e-04..1e+07, where results do not depend "
        "on the units; express trait 2 in units 10^5 times larger (variance 1)"}},
  };
  for (const Case& c : cases) {
    RunState s = c.state;
    EXPECT_EQ(warnings_of(s), c.lines) << c.what;
  }
}

TEST(BendingWarnings, EigenvaluesBeforeAndAfterBendingAndTheSufficientFactor) {
  // G = diag(1, 4), R = diag(2, 1): eigenvalues 0.5 and 4 of R^-1 G, ascending.
  RunState s = fixed(make_state({{1}, {0, 4}}, {{2}, {0, 1}}, {}, 1.0), 0.25);
  warnings_of(s);
  EXPECT_TRUE(s.r_positive_definite);
  EXPECT_DOUBLE_EQ(s.EIG(1), 0.5);
  EXPECT_DOUBLE_EQ(s.EIG(2), 4.0);
  EXPECT_DOUBLE_EQ(s.eigmean, 2.25);
  EXPECT_DOUBLE_EQ(s.EIGADJ(1), 0.75 * 0.5 + 0.25 * 2.25);
  EXPECT_DOUBLE_EQ(s.EIGADJ(2), 0.75 * 4.0 + 0.25 * 2.25);
  EXPECT_TRUE(s.gadj_positive_definite);
  EXPECT_EQ(s.kpd, 0);  // positive definite before bending

  // The dairy example: the factor 0.107 is the first whose smallest bent eigenvalue is
  // positive, and the chosen 0.077 lies below it.
  RunState d = dairy();
  warnings_of(d);
  EXPECT_EQ(d.kbest, 77);
  EXPECT_EQ(d.kpd, 107);
  EXPECT_FALSE(d.gadj_positive_definite);
  for (int i = 2; i <= d.nt; ++i) EXPECT_LE(d.EIG(i - 1), d.EIG(i)) << i;
  const auto bent = [&d](int k) { return (1.0 - 0.001 * k) * d.EIG(1) + 0.001 * k * d.eigmean; };
  EXPECT_LE(bent(106), 0.0);
  EXPECT_GT(bent(107), 0.0);
  // The bent eigenvalues are those of the bent matrix: its smallest, from the solver,
  // agrees with the formula.
  RunState bent_input = make_state({}, DairyR, {}, 0.25);
  bent_input.nt = d.nt;
  bent_input.G = d.GADJ;
  bent_input.proc = 2;
  warnings_of(bent_input);
  EXPECT_NEAR(bent_input.EIG(1), d.EIGADJ(1), 1e-12);

  // Without a positive definite R nothing is formed.
  RunState r_indefinite = fixed(make_state(TwoG, {{1}, {2, 1}}, {}, 1.0), 0.3);
  warnings_of(r_indefinite);
  EXPECT_FALSE(r_indefinite.r_positive_definite);
  EXPECT_EQ(r_indefinite.EIG(1), 0.0);
  EXPECT_FALSE(r_indefinite.gadj_positive_definite);
  EXPECT_EQ(r_indefinite.kpd, -1);
}

TEST(NoFactorReason, GeneralTermsOnlyWhenNoCauseIsFound) {
  // Weights and prior as a well-formed input has them: the scores alone are described.
  RunState s = make_state(TwoG, TwoR, TwoPrior, 1.0);
  s.RHO.fill(std::nan(""));
  EXPECT_EQ(no_factor_reason(s), "no bending factor could be chosen: every grid score is undefined");
  s.RHO.fill(-1000.0);
  s.RHO[3] = std::nan("");
  EXPECT_EQ(no_factor_reason(s), "no bending factor could be chosen: no grid score exceeds -999 (check the prior matrix)");
}

// The eigenvalues bit for bit as recorded: every compiler and flag set (CI builds this
// test at -O0 and at -O3 -march=native too) must form the same ones, or a printed figure
// or the sufficient factor could differ between builds at a rounding boundary.
TEST(DefinitenessBits, EigenvaluesAreTheRecordedBits) {
  RunState d = dairy();
  warnings_of(d);
  std::string eig;
  char buf[40];
  for (int i = 1; i <= d.nt; ++i) {
    std::snprintf(buf, sizeof buf, "%a ", d.EIG(i));
    eig += buf;
  }
  EXPECT_EQ(eig, "-0x1.c6841216b61efp-8 0x1.6b00eff0ab18ap-6 0x1.14b0418faa696p-5 0x1.fdea25c59a8c9p-5 "
                 "0x1.4ccfefc863e0bp-4 0x1.3f5ba0d97d97dp-3 ");
  EXPECT_EQ(d.kpd, 107);

  // 30 traits, G indefinite: one digest of the 30 eigenvalues' bits.
  RunState s;
  s.nt = MaxTraits;
  s.proc = 2;
  s.bf = 0.1;
  s.cr = 1.0;
  for (int j = 1; j <= MaxTraits; ++j)
    for (int i = 1; i <= MaxTraits; ++i) {
      s.G(i, j) = std::cos(0.7 * i * j) + (i == j ? 0.5 : 0.0);
      s.R(i, j) = i == j ? 3.0 + 0.1 * i : 1.0 / (1 + (i > j ? i - j : j - i)) / (1 + (i > j ? i - j : j - i));
    }
  warnings_of(s);
  ASSERT_TRUE(s.r_positive_definite);
  std::uint64_t digest = 14695981039346656037ull;
  for (int i = 1; i <= MaxTraits; ++i) digest = (digest ^ testing::bits(s.EIG(i))) * 1099511628211ull;
  EXPECT_EQ(digest, 2057038586607034504u);
}

}  // namespace
}  // namespace vcshrink
