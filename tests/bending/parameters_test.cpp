// The genetic parameters of a pair of matrices: heritabilities, both correlations and
// the zero-variance rule with its count.
#include "bending/parameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "bending_fixture.h"

namespace vcshrink {
namespace {

using testing::bits;

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
