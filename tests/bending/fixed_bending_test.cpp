// The fixed procedure: bending by a typed factor and the genetic parameters of the bent
// matrices with the zero-variance rule and its count.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "bending/bending.h"
#include "bending_fixture.h"

namespace vcshrink {
namespace {

using testing::bits;
using testing::make_state;

bool same_bits(const TraitMatrix& x, const TraitMatrix& y) { return std::memcmp(x.a.data(), y.a.data(), sizeof x.a) == 0; }

TEST(FixedProcedure, TwoTraitExampleWithFactorPointThree) {
  RunState s = make_state({{0.30}, {0.10, 0.20}}, {{0.70}, {0.15, 0.80}}, {}, 1.0);
  s.proc = 2;
  s.bf = 0.3;
  prepare_covariances(s);
  run_fixed_procedure(s);
  EXPECT_NEAR(s.GFADJ(1, 1), 0.278372, 5e-7);
  EXPECT_NEAR(s.GFADJ(2, 1), 0.084651, 5e-7);
  EXPECT_NEAR(s.GFADJ(2, 2), 0.218140, 5e-7);
  EXPECT_EQ(s.GFADJ(1, 2), s.GFADJ(2, 1));
  EXPECT_EQ(s.PADJ(1, 1), s.GADJ(1, 1) + 0.70);
  EXPECT_EQ(s.nzero_adj, 0);
  EXPECT_NEAR(s.PARADJ(1, 1), s.GFADJ(1, 1) / s.PADJ(1, 1), 1e-15);
}

TEST(FixedProcedure, FactorZeroLeavesTheMatricesAsPreparedBitForBit) {
  RunState s = make_state({{20}, {18, 25}, {-2, 5, 10}}, {{80}, {10, 75}, {5, 8, 90}}, {}, 0.25);
  s.bf = 0.0;
  prepare_covariances(s);
  run_fixed_procedure(s);
  EXPECT_TRUE(same_bits(s.GADJ, s.G));
  EXPECT_TRUE(same_bits(s.PADJ, s.P));
  EXPECT_TRUE(same_bits(s.GFADJ, s.GF));
  TraitMatrix before;
  EXPECT_EQ(derive_parameters(s.GF, s.P, s.nt, before), s.nzero_adj);
  EXPECT_TRUE(same_bits(before, s.PARADJ));
}

TEST(FixedProcedure, HeritabilitiesAreNotLimitedToOne) {
  RunState s = make_state({{0.2}, {0.1, 0.3}}, {{0.8}, {0.3, 0.7}}, {}, 0.25);
  s.bf = 1.0;
  prepare_covariances(s);
  run_fixed_procedure(s);
  EXPECT_NEAR(s.PARADJ(1, 1), 1.0159, 1e-4);
  EXPECT_NEAR(s.PARADJ(2, 2), 1.0159, 1e-4);
  // Fully bent: both correlations are the residual correlation.
  const double residual = 0.3 / std::sqrt(0.8 * 0.7);
  EXPECT_NEAR(s.PARADJ(1, 2), residual, 1e-12);
  EXPECT_NEAR(s.PARADJ(2, 1), residual, 1e-12);
}

TEST(FixedProcedure, NegativeVarianceBentToZeroResetsItsPair) {
  RunState s = make_state({{-1}, {0, 3}}, {{1}, {0, 1}}, {}, 1.0);
  s.bf = 0.5;
  prepare_covariances(s);
  run_fixed_procedure(s);
  EXPECT_EQ(s.eigmean, 1.0);
  EXPECT_EQ(s.GADJ(1, 1), 0.0);
  EXPECT_EQ(s.GADJ(2, 2), 2.0);
  EXPECT_EQ(s.PADJ(1, 1), 1.0);
  EXPECT_EQ(s.PADJ(2, 2), 3.0);
  EXPECT_EQ(s.nzero_adj, 1);
  EXPECT_EQ(s.PARADJ(1, 2), 0.0);
  EXPECT_EQ(s.PARADJ(2, 1), 0.0);
  EXPECT_EQ(s.PARADJ(1, 1), 0.0);
  EXPECT_EQ(bits(s.PARADJ(2, 2)), bits(0.6666666666666666));
}

// derive_parameters on hand-made genetic (A) and phenotypic (Q) matrices.
TEST(DeriveParameters, ZeroVarianceRule) {
  struct Case {
    const char* what;
    double a11, a22, a33;
    int count;
    bool pair12, pair13, pair23;  // whether the pair's correlations are computed
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"all variances above the limit", 2.0, 3.0, 4.0, 0, true, true, true},
      {"a variance exactly at the limit is not below it", MinVariance, 3.0, 4.0, 0, true, true, true},
      {"one variance below the limit resets its two pairs", 5e-07, 3.0, 4.0, 2, false, false, true},
      {"negative variance counts as zero", 2.0, -0.5, 4.0, 2, false, true, false},
      {"a pair with both variances below is counted once", 0.0, 0.0, 4.0, 3, false, false, false},
      {"a NaN variance is not below the limit", nan, 3.0, 4.0, 0, true, true, true},
  };
  for (const Case& c : cases) {
    TraitMatrix A, Q, M;
    const double diag[] = {c.a11, c.a22, c.a33};
    for (int i = 1; i <= 3; ++i) {
      A(i, i) = diag[i - 1];
      Q(i, i) = 10.0 * i;
      for (int j = 1; j <= 3; ++j)
        if (i != j) {
          A(i, j) = 0.01 * (i + j);
          Q(i, j) = 0.5 * (i + j);
        }
    }
    EXPECT_EQ(derive_parameters(A, Q, 3, M), c.count) << c.what;
    const bool computed[4][4] = {{}, {false, false, c.pair12, c.pair13}, {false, c.pair12, false, c.pair23},
                                 {false, c.pair13, c.pair23, false}};
    for (int i = 1; i <= 2; ++i)
      for (int j = i + 1; j <= 3; ++j) {
        if (computed[i][j]) {
          EXPECT_EQ(bits(M(i, j)), bits(Q(i, j) / std::sqrt(Q(i, i) * Q(j, j)))) << c.what << " " << i << j;
          EXPECT_EQ(bits(M(j, i)), bits(A(i, j) / std::sqrt(A(i, i) * A(j, j)))) << c.what << " " << j << i;
        } else {
          EXPECT_EQ(bits(M(i, j)), bits(0.0)) << c.what << " " << i << j;
          EXPECT_EQ(bits(M(j, i)), bits(0.0)) << c.what << " " << j << i;
        }
      }
    for (int k = 1; k <= 3; ++k) EXPECT_EQ(bits(M(k, k)), bits(A(k, k) / Q(k, k))) << c.what << " heritability " << k;
  }
}

TEST(DeriveParameters, OneTraitHasNoPairs) {
  TraitMatrix A, Q, M;
  A(1, 1) = 0.0;
  Q(1, 1) = 0.0;
  EXPECT_EQ(derive_parameters(A, Q, 1, M), 0);
  EXPECT_TRUE(std::isnan(M(1, 1)));  // 0 / 0, unguarded
  EXPECT_EQ(M(1, 2), 0.0);
  EXPECT_EQ(M(2, 1), 0.0);
}

}  // namespace
}  // namespace vcshrink
