// The optimized procedure: the factor chosen on the worked examples, the ends of the
// run during the search, and bit-for-bit agreement of the covariance preparation and
// the whole search with the reference on random inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bending/bending.h"
#include "run/end_run.h"
#include "bending_fixture.h"
#include "reference_bending.h"
#include "run_end.h"

namespace vcshrink {
namespace {

using testing::bits;
using testing::make_state;
using testing::run_end_of;
using testing::Rows;

const Rows ThreeG = {{20}, {18, 25}, {-2, 5, 10}};
const Rows ThreeR = {{80}, {10, 75}, {5, 8, 90}};
const Rows ThreePrior = {{0.2}, {0.3, 0.25}, {0.1, 0.2, 0.1}};

RunState optimized(RunState s) {
  prepare_covariances(s);
  optimize_bending(s);
  return s;
}

TEST(OptimizeBending, ThreeTraitExampleScoresRiseToFactorPoint406) {
  const RunState s = optimized(make_state(ThreeG, ThreeR, ThreePrior, 1.0));
  EXPECT_NEAR(s.RHO[0], 0.44290, 5e-6);
  EXPECT_NEAR(s.RHO[406], 0.45005, 5e-6);
  EXPECT_NEAR(s.RHO[1000], 0.42210, 5e-6);
  EXPECT_EQ(s.kbest, 406);
  EXPECT_EQ(bits(s.rho_best), bits(s.RHO[406]));
  EXPECT_EQ(bits(s.bf_used), bits(0.001 * 406));
  EXPECT_NEAR(s.var_h, 4.2, 1e-12);
  // The adjusted matrices and parameters are those of the chosen factor.
  RunState fixed = make_state(ThreeG, ThreeR, {}, 1.0);
  fixed.bf = s.bf_used;
  prepare_covariances(fixed);
  run_fixed_procedure(fixed);
  EXPECT_EQ(std::memcmp(&fixed.GFADJ, &s.GFADJ, sizeof s.GFADJ), 0);
  EXPECT_EQ(std::memcmp(&fixed.PADJ, &s.PADJ, sizeof s.PADJ), 0);
  EXPECT_EQ(std::memcmp(&fixed.PARADJ, &s.PARADJ, sizeof s.PARADJ), 0);
  EXPECT_EQ(s.nzero_adj, 0);
}

// With positive definite results only, the first best score among the factors whose
// smallest bent eigenvalue is positive; the choice over the whole grid is kept. The
// smallest eigenvalue is set by hand here to move where that region starts.
TEST(OptimizeBending, PositiveDefiniteOnlyChoosesWithinTheRegion) {
  struct Case {
    const char* what;
    double smallest;  // EIG(1), as a multiple of eigmean
    int kbest;
  };
  const Case cases[] = {
      {"whole grid but 0 positive definite: the unrestricted choice", 0.0, 406},
      {"positive definite above 0.5: its first factor, as scores fall after 406", -1.0, 501},
  };
  for (const Case& c : cases) {
    RunState s = make_state(ThreeG, ThreeR, ThreePrior, 1.0);
    prepare_covariances(s);
    s.pd_only = true;
    s.EIG(1) = c.smallest * s.eigmean;
    optimize_bending(s);
    EXPECT_EQ(s.kbest, c.kbest) << c.what;
    EXPECT_EQ(bits(s.rho_best), bits(s.RHO[static_cast<std::size_t>(c.kbest)])) << c.what;
    EXPECT_EQ(bits(s.bf_used), bits(0.001 * c.kbest)) << c.what;
    EXPECT_EQ(s.kbest_unrestricted, 406) << c.what;
    EXPECT_EQ(bits(s.rho_best_unrestricted), bits(s.RHO[406])) << c.what;
  }
}

TEST(OptimizeBending, ChosenFactorOfTheWorkedExamples) {
  struct Case {
    const char* what;
    RunState state;
    int kbest;
  };
  const Case cases[] = {
      {"different weights", make_state(ThreeG, ThreeR, ThreePrior, 1.0, {1.0, 0.5, 2.0}), 460},
      {"halfsib coefficient cancels", make_state(ThreeG, ThreeR, ThreePrior, 0.25), 406},
      {"prior of the input's own parameters",
       make_state(ThreeG, ThreeR, {{0.2}, {0.805, 0.25}, {-0.1414, 0.3162, 0.1}}, 1.0), 0},
      {"zero prior: every score 0, the first wins", make_state(ThreeG, ThreeR, {{0}, {0, 0}, {0, 0, 0}}, 1.0), 0},
      {"score still rising at the end of the grid",
       make_state({{10}, {9, 12}}, {{40}, {0, 50}}, {{0.2}, {-0.5, 0.2}}, 1.0), 1000},
      {"two-trait input file example",
       make_state({{0.30}, {0.10, 0.20}}, {{0.70}, {0.15, 0.80}}, {{0.30}, {0.40, 0.25}}, 1.0), 514},
  };
  for (const Case& c : cases) {
    const RunState s = optimized(c.state);
    EXPECT_EQ(s.kbest, c.kbest) << c.what;
    EXPECT_EQ(bits(s.bf_used), bits(0.001 * c.kbest)) << c.what;
  }
}

TEST(OptimizeBending, TwoTraitInputFileExampleAdjustedMatrices) {
  const RunState s =
      optimized(make_state({{0.30}, {0.10, 0.20}}, {{0.70}, {0.15, 0.80}}, {{0.30}, {0.40, 0.25}}, 1.0));
  EXPECT_EQ(s.kbest, 514);
  const double gfadj[] = {0.262944, 0.073702, 0.231079};
  const double padj[] = {0.962944, 0.223702, 1.031079};
  const int row[] = {1, 2, 2}, col[] = {1, 1, 2};
  for (int e = 0; e < 3; ++e) {
    EXPECT_NEAR(s.GFADJ(row[e], col[e]), gfadj[e], 5e-7) << e;
    EXPECT_NEAR(s.PADJ(row[e], col[e]), padj[e], 5e-7) << e;
  }
  EXPECT_NEAR(s.PARADJ(1, 1), 0.27, 0.005);
  EXPECT_NEAR(s.PARADJ(1, 2), 0.22, 0.005);
  EXPECT_NEAR(s.PARADJ(2, 1), 0.30, 0.005);
  EXPECT_NEAR(s.PARADJ(2, 2), 0.22, 0.005);
}

TEST(OptimizeBending, SearchEndsTheRun) {
  struct Case {
    const char* what;
    RunState state;
    ExitStatus status;
    const char* notice;
    const char* diagnostic;
  };
  RunState no_procedure = make_state(ThreeG, ThreeR, {}, 1.0, {0, 0, 0});
  no_procedure.proc = 3;  // optimized search without a prior or weights
  const Case cases[] = {
      {"all weights zero: every score NaN", make_state(ThreeG, ThreeR, ThreePrior, 1.0, {0, 0, 0}),
       ExitStatus::NoFactor, "", "no bending factor could be chosen: every trait weight is zero"},
      {"a procedure choice other than 1 or 2", no_procedure, ExitStatus::NoFactor, "",
       "no bending factor could be chosen: every trait weight is zero; the prior heritabilities of traits 1, 2, 3 "
       "are zero or below"},
      {"a negative prior heritability: NaN prior covariances",
       make_state(ThreeG, ThreeR, {{0.2}, {0.3, -0.25}, {0.1, 0.2, 0.1}}, 1.0), ExitStatus::NoFactor, "",
       "no bending factor could be chosen: the prior heritability of trait 2 is zero or below"},
      {"prior values out of range: NaN prior covariances",
       make_state(ThreeG, ThreeR, {{0.2}, {-1.5, -0.25}, {0.1, 0.2, 1.5}}, 1.0), ExitStatus::NoFactor, "",
       "no bending factor could be chosen: the prior heritability of trait 2 is zero or below; prior values out "
       "of range (heritability of trait 3, genetic correlation of traits 1 and 2)"},
      // A prior heritability of -1000: the aggregate variance is floored, and every score
      // is a number far below -999, so none is chosen although none is undefined.
      {"every score a number below the start", make_state({{1}}, {{2}}, {{-1000}}, 1.0), ExitStatus::NoFactor, "",
       "no bending factor could be chosen: the prior heritability of trait 1 is zero or below"},
      // R inverts, but the unbent phenotypic matrix G + R = diag(0, 1) has a zero first pivot.
      {"phenotypic matrix of factor 0 is singular", make_state({{-1}, {0, 0}}, {{1}, {0, 1}}, {{0.2}, {0, 0.2}}, 1.0),
       ExitStatus::SingularMatrix, "matrix singulaer!",
       "the adjusted phenotypic matrix at bending factor 0.000 of the search cannot be inverted: the pivot at "
       "trait 1 is below 1e-08"},
      // G = diag(-3, 5), R = I: eigmean 1, and PADJ(1,1) = (1 - f)(-3) + f + 1 is exactly 0 at f = 0.5.
      {"adjusted phenotypic matrix singular halfway", make_state({{-3}, {0, 5}}, {{1}, {0, 1}}, {{0.3}, {0.2, 0.4}}, 1.0),
       ExitStatus::SingularMatrix, "matrix singulaer!",
       "the adjusted phenotypic matrix at bending factor 0.500 of the search cannot be inverted: the pivot at "
       "trait 1 is below 1e-08"},
  };
  for (const Case& c : cases) {
    RunState s = c.state;
    prepare_covariances(s);
    const auto end = run_end_of([&] { optimize_bending(s); });
    if (!end) {
      ADD_FAILURE() << c.what << ": the run should have ended";
      continue;
    }
    EXPECT_EQ(end->status, c.status) << c.what;
    EXPECT_EQ(end->console_notice, c.notice) << c.what;
    EXPECT_EQ(end->diagnostic, c.diagnostic) << c.what;
  }
}

// Pseudo-random numbers in [-1, 1) whose every value is fixed by this code alone, so a
// result pinned on them holds with any standard library: a 64-bit linear congruential
// generator, whose top 53 bits k give k / 2^52 - 1 exactly.
class Uniform {
 public:
  explicit Uniform(std::uint64_t seed) : x_(seed) {}
  double operator()() {
    x_ = x_ * 6364136223846793005u + 1442695040888963407u;
    return static_cast<double>(x_ >> 11) * 0x1p-52 - 1.0;
  }

 private:
  std::uint64_t x_;
};

// Random inputs: covariance-like matrices of several sizes, some with awkward values.
RunState random_state(Uniform& u, int nt, bool awkward) {
  RunState s;
  s.proc = 1;
  s.nt = nt;
  s.cr = awkward ? 1.0 / 0.5 : 1.0 / 0.25;
  TraitMatrix x, y;
  for (double& e : x.a) e = u();
  for (double& e : y.a) e = u();
  for (int j = 1; j <= nt; ++j)
    for (int i = 1; i <= nt; ++i) {
      double g = 0.0, r = 0.0;
      for (int k = 1; k <= nt; ++k) {
        g += x(i, k) * x(j, k);
        r += y(i, k) * y(j, k);
      }
      s.G(i, j) = g;
      s.R(i, j) = r + (i == j ? 1.0 : 0.0);
      s.PRIOR(i, j) = i == j ? 0.1 + 0.4 * std::fabs(u()) : 0.5 * u();
    }
  for (int j = 1; j <= nt; ++j)
    for (int i = j + 1; i <= nt; ++i) s.PRIOR(j, i) = s.PRIOR(i, j);
  for (int i = 1; i <= nt; ++i) s.W(i) = 0.5 + std::fabs(u());
  if (awkward) {
    s.G(1, 1) = 0.0;                       // floored scale factor, zero-variance pair
    s.W(nt) = 0.0;                         // a trait outside the aggregate genotype
    if (nt == 5) s.PRIOR(nt, nt) = -0.1;   // NaN prior covariances: every score NaN
    if (nt > 2) s.G(2, 3) = s.G(3, 2) = -0.0;
  }
  return s;
}

void expect_same(const TraitMatrix& x, const TraitMatrix& y, const std::string& what) {
  EXPECT_EQ(std::memcmp(x.a.data(), y.a.data(), sizeof x.a), 0) << what;
}

TEST(OptimizeBending, WholeSearchMatchesTheReferenceBitForBit) {
  Uniform u(4242);
  const int sizes[] = {1, 2, 3, 5, 8, 13, 30};
  for (int nt : sizes) {
    for (bool awkward : {false, true}) {
      const std::string what = "nt " + std::to_string(nt) + (awkward ? " awkward" : "");
      RunState s = random_state(u, nt, awkward);
      RunState ref = s;
      prepare_covariances(s);
      ASSERT_TRUE(reference::prepare_covariances(ref)) << what;
      EXPECT_EQ(bits(s.eigmean), bits(ref.eigmean)) << what;
      EXPECT_EQ(std::memcmp(s.SCALE.v.data(), ref.SCALE.v.data(), sizeof s.SCALE.v), 0) << what << " SCALE";
      expect_same(s.RINV, ref.RINV, what + " RINV");
      expect_same(s.RINVG, ref.RINVG, what + " RINVG");
      expect_same(s.P, ref.P, what + " P");
      expect_same(s.GF, ref.GF, what + " GF");
      const bool ref_chose = reference::optimize_bending(ref);
      const bool chose = !run_end_of([&] { optimize_bending(s); });
      ASSERT_EQ(chose, ref_chose) << what;
      // Every input reaches a factor but two: nt 5 awkward (a NaN prior makes every
      // score undefined) and nt 1 awkward (its one weight is 0).
      EXPECT_EQ(chose, !(awkward && (nt == 5 || nt == 1))) << what;
      for (std::size_t k = 0; k < s.RHO.size(); ++k) ASSERT_EQ(bits(s.RHO[k]), bits(ref.RHO[k])) << what << " k " << k;
      EXPECT_EQ(s.kbest, ref.kbest) << what;
      EXPECT_EQ(bits(s.rho_best), bits(ref.rho_best)) << what;
      EXPECT_EQ(bits(s.bf_used), bits(ref.bf_used)) << what;
      EXPECT_EQ(bits(s.cov_ih), bits(ref.cov_ih)) << what;
      EXPECT_EQ(bits(s.var_h), bits(ref.var_h)) << what;
      EXPECT_EQ(bits(s.var_i), bits(ref.var_i)) << what;
      expect_same(s.GFPRIOR, ref.GFPRIOR, what + " GFPRIOR");
      if (chose) {  // the bent matrices of the chosen factor; the search itself keeps none
        expect_same(s.GADJ, ref.GADJ, what + " GADJ");
        expect_same(s.PADJ, ref.PADJ, what + " PADJ");
      }
      expect_same(s.GFADJ, ref.GFADJ, what + " GFADJ");
      expect_same(s.PADJINV, ref.PADJINV, what + " PADJINV");
      expect_same(s.WK, ref.WK, what + " WK");
      EXPECT_EQ(std::memcmp(s.BIDX.v.data(), ref.BIDX.v.data(), sizeof s.BIDX.v), 0) << what << " BIDX";
    }
  }
}

TEST(EvaluateFactor, MatchesTheReferenceOnGridAndOffGridFactors) {
  // The reader makes G and R symmetric, but a state built otherwise may not be: P's
  // quadratic form must then still sum in the same order.
  for (bool asymmetric : {false, true}) {
    Uniform u(99);
    RunState s = random_state(u, 30, false);
    if (asymmetric) s.G(2, 7) = s.G(7, 2) + 0.25;
    prepare_covariances(s);
    build_prior_covariance(s);
    RunState ref = s;
    for (double f : {0.0, 0.009, 0.001 * 9, 0.5, 0.999, 1.0, 0.123456789}) {
      bool singular = false;
      const double expected = reference::evaluate_factor(ref, f, singular);
      ASSERT_FALSE(singular);
      EXPECT_EQ(bits(evaluate_factor(s, f)), bits(expected)) << f << (asymmetric ? " asymmetric" : "");
      expect_same(s.WK, ref.WK, "WK");
      expect_same(s.PADJINV, ref.PADJINV, "PADJINV");
    }
  }
}

}  // namespace
}  // namespace vcshrink
