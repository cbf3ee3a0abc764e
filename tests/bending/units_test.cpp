// Units of the traits: the experiment behind the stable range of variances. Every
// example is rescaled trait by trait by powers of ten; while every phenotypic variance
// stays inside MinStableVariance..MaxStableVariance the printed parameters, the chosen
// factor and the figures of the definiteness warning stay as they are, and the
// recorded rescalings just outside the range change them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bending/bending.h"
#include "bending/definiteness.h"
#include "bending/parameters.h"
#include "bending/plausibility.h"
#include "run/end_run.h"
#include "bending_fixture.h"
#include "run_end.h"

namespace vcshrink {
namespace {

using testing::make_state;

// What a run prints that does not depend on the units: the chosen factor, the
// parameters before and after bending as the report rounds them (two decimals) and the
// definiteness figures (three significant digits), or how the run ended.
std::string printed(RunState s) {
  NoWarnings none;
  check_residual_definiteness(s, none);
  const auto end = testing::run_end_of([&] {
    prepare_covariances(s);
    if (s.proc == 2) {
      run_fixed_procedure(s);
    } else {
      optimize_bending(s);
    }
  });
  if (end) return "ended with status " + std::to_string(static_cast<int>(end->status));
  check_bent_definiteness(s, none);
  TraitMatrix par;
  derive_parameters(s.GF, s.P, s.nt, par);
  std::string out;
  char buf[64];
  std::snprintf(buf, sizeof buf, "k %d |", s.proc == 2 ? -1 : s.kbest);
  out += buf;
  for (const TraitMatrix* m : {&par, &s.PARADJ})
    for (int j = 1; j <= s.nt; ++j)
      for (int i = 1; i <= s.nt; ++i) {
        std::snprintf(buf, sizeof buf, " %.2f", (*m)(i, j));
        out += buf;
      }
  std::snprintf(buf, sizeof buf, " | %.3g %.3g %d", s.EIG(1), s.EIGADJ(1), s.kpd);
  return out + buf;
}

// Trait t (0: every trait) measured in units 10^-e/2 times as large: its variances
// multiplied by 10^e, its covariances by 10^(e/2).
RunState rescaled(RunState s, int t, int e) {
  const double v = std::pow(10.0, e), c = std::pow(10.0, e / 2.0);
  for (int j = 1; j <= s.nt; ++j)
    for (int i = 1; i <= s.nt; ++i) {
      const bool ti = t == 0 || i == t, tj = t == 0 || j == t;
      const double f = t == 0 ? v : (ti && tj ? v : (ti || tj ? c : 1.0));
      s.G(i, j) *= f;
      s.R(i, j) *= f;
    }
  return s;
}

double variance(const RunState& s, int i) { return s.G(i, i) + s.R(i, i); }

RunState generated(std::mt19937_64& rng, int nt) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  RunState s;
  s.proc = 1;
  s.nt = nt;
  s.cr = 4.0;
  TraitMatrix x, y;
  for (double& e : x.a) e = u(rng);
  for (double& e : y.a) e = u(rng);
  for (int j = 1; j <= nt; ++j)
    for (int i = 1; i <= nt; ++i) {
      double g = 0.0, r = 0.0;
      for (int k = 1; k <= nt; ++k) {
        g += x(i, k) * x(j, k);
        r += y(i, k) * y(j, k);
      }
      s.G(i, j) = 0.1 * g;
      s.R(i, j) = r + (i == j ? 1.0 : 0.0);
      s.PRIOR(i, j) = i == j ? 0.1 + 0.4 * std::fabs(u(rng)) : 0.5 * u(rng);
    }
  for (int j = 1; j <= nt; ++j)
    for (int i = j + 1; i <= nt; ++i) s.PRIOR(j, i) = s.PRIOR(i, j);
  for (int i = 1; i <= nt; ++i) s.W(i) = 1.0;
  return s;
}

RunState as_fixed(RunState s) {
  s.proc = 2;
  s.bf = 0.3;
  return s;
}

const testing::Rows DairyG = {{2.7},
                              {-0.078428, 0.011250},
                              {-0.024801, 0.004002, 0.002531},
                              {0.077942, 0.001006, 0.000955, 0.036000},
                              {0.066136, -0.001067, -0.000253, 0.016228, 0.010125},
                              {0.025562, 0.000825, 0.000783, 0.023613, -0.004696, 0.024200}};
const testing::Rows DairyR = {{33.3},
                              {-0.461572, 0.078750},
                              {-0.155199, 0.020748, 0.019969},
                              {0.282058, 0.006194, 0.004445, 1.404000},
                              {0.743864, -0.004333, -0.002447, 0.091772, 0.799875},
                              {0.304438, 0.005775, 0.005817, 0.174387, 0.103696, 1.185800}};
const testing::Rows DairyPrior = {{0.30},
                                  {-0.45, 0.50},
                                  {-0.30, 0.75, 0.45},
                                  {0.25, 0.05, 0.10, 0.10},
                                  {0.40, -0.10, -0.05, 0.50, 0.05},
                                  {0.10, 0.05, 0.10, 0.45, 0.20, 0.08}};

RunState two() { return make_state({{0.30}, {0.10, 0.20}}, {{0.70}, {0.15, 0.80}}, {{0.30}, {0.40, 0.25}}, 1.0); }
RunState dairy() { return make_state(DairyG, DairyR, DairyPrior, 0.25, {1.0, 0.8, 0.8, 0.3, 0.5, 0.4}); }

TEST(Units, ResultsDoNotChangeWhileEveryVarianceLiesInTheStableRange) {
  std::vector<RunState> examples = {
      two(), dairy(),
      make_state({{20}, {18, 25}, {-2, 5, 10}}, {{80}, {10, 75}, {5, 8, 90}}, {{0.2}, {0.3, 0.25}, {0.1, 0.2, 0.1}},
                 1.0, {1.0, 0.5, 2.0})};
  std::mt19937_64 rng(7);
  for (int nt : {2, 5, 20, 30}) examples.push_back(generated(rng, nt));
  const std::size_t n = examples.size();
  for (std::size_t e = 0; e < n; ++e) examples.push_back(as_fixed(examples[e]));

  std::mt19937_64 pick(1);
  for (std::size_t e = 0; e < examples.size(); ++e) {
    const RunState& base = examples[e];
    const std::string reference = printed(base);
    const int trials = base.nt > 10 ? 12 : 40;
    for (int trial = 0; trial < trials; ++trial) {
      // Every trait in units 10^k times its own, k chosen at random within the range.
      RunState s = base;
      std::string units;
      for (int t = 1; t <= base.nt; ++t) {
        const double v = variance(base, t);
        const int kmin = static_cast<int>(std::ceil(std::log10(MinStableVariance / v) / 2));
        const int kmax = static_cast<int>(std::floor(std::log10(MaxStableVariance / v) / 2));
        const int k = std::uniform_int_distribution<int>(kmin, kmax)(pick);
        s = rescaled(s, t, 2 * k);
        units.append(" ").append(std::to_string(k));
      }
      ASSERT_EQ(printed(s), reference) << "example " << e << ", variances times 10^2k for k =" << units;
    }
  }
}

TEST(Units, OutsideTheStableRangeResultsChange) {
  struct Case {
    const char* what;
    RunState base;
    int trait;     // 0: every trait
    int exponent;  // variances multiplied by 10^exponent
  };
  const RunState three = make_state({{20}, {18, 25}, {-2, 5, 10}}, {{80}, {10, 75}, {5, 8, 90}},
                                    {{0.2}, {0.3, 0.25}, {0.1, 0.2, 0.1}}, 1.0, {1.0, 0.5, 2.0});
  const Case cases[] = {
      {"two traits, every variance 1e13 times larger: factor 0.514 becomes 0.516", two(), 0, 13},
      {"two traits, every variance 1e-6 times as large", two(), 0, -6},
      {"dairy, trait 1 in units 1e5 times smaller (variance 3.6e11): factor 0.077 becomes 0.078", dairy(), 1, 10},
      {"dairy, trait 3 variance 2.3e-6", dairy(), 3, -4},
      {"three traits, every variance about 1e11", three, 0, 9},
  };
  for (const Case& c : cases) {
    RunState s = rescaled(c.base, c.trait, c.exponent);
    bool outside = false;
    for (int i = 1; i <= s.nt; ++i) {
      outside = outside || variance(s, i) < MinStableVariance || variance(s, i) > MaxStableVariance;
    }
    EXPECT_TRUE(outside) << c.what;
    EXPECT_NE(printed(s), printed(c.base)) << c.what;
  }
  // The factors the issue of units moves.
  EXPECT_EQ(printed(rescaled(two(), 0, 13)).substr(0, 6), "k 516 ");
  EXPECT_EQ(printed(rescaled(dairy(), 1, 10)).substr(0, 5), "k 78 ");
}

}  // namespace
}  // namespace vcshrink
