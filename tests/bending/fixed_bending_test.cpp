// The fixed procedure: bending by a typed factor and the genetic parameters of the bent
// matrices with the zero-variance rule and its count.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "bending/bending.h"
#include "bending/parameters.h"
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
  EXPECT_EQ(s.bf_used, 0.3);  // the typed factor is the one reported as used
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

}  // namespace
}  // namespace vcshrink
