// prepare_covariances: the mean eigenvalue, scale factors, phenotypic and full genetic
// matrices, and the end of the run on a residual matrix that cannot be inverted.
#include <gtest/gtest.h>

#include <cmath>

#include "bending/bending.h"
#include "run/end_run.h"
#include "bending_fixture.h"
#include "run_end.h"

namespace vcshrink {
namespace {

using testing::bits;
using testing::make_state;
using testing::run_end_of;

TEST(PrepareCovariances, TwoTraitExampleGivesTheMeanEigenvalueToTheLastBit) {
  RunState s = make_state({{0.30}, {0.10, 0.20}}, {{0.70}, {0.15, 0.80}}, {}, 1.0);
  prepare_covariances(s);
  EXPECT_EQ(bits(s.eigmean), bits(0.32558139534883723));
  EXPECT_EQ(s.P(2, 1), 0.10 + 0.15);
  EXPECT_EQ(s.P(1, 2), 0.10 + 0.15);
  EXPECT_EQ(s.GF(2, 2), 0.20);
  EXPECT_EQ(s.R(1, 1), 0.70);  // R is left as read
}

TEST(PrepareCovariances, IdentityComponentsAndFlooredVariances) {
  {
    RunState s = make_state({{1}, {0, 1}}, {{1}, {0, 1}}, {}, 1.0, {2.0, 0.5});
    prepare_covariances(s);
    EXPECT_EQ(s.eigmean, 1.0);
    EXPECT_EQ(s.P(1, 1), 2.0);
    EXPECT_EQ(s.P(2, 1), 0.0);
    EXPECT_EQ(s.SCALE(1), 2.0);
    EXPECT_EQ(s.SCALE(2), 0.5);
  }
  {
    // A zero genetic variance is raised to the floor for the scale factor only.
    RunState s = make_state({{0}, {0, 0.5}}, {{1}, {0, 1}}, {}, 0.25);
    prepare_covariances(s);
    EXPECT_DOUBLE_EQ(s.SCALE(1), 500.0);
    EXPECT_EQ(s.GF(1, 1), 0.0);
    EXPECT_EQ(s.GF(2, 2), 2.0);
  }
  {
    // One trait: eigmean is the inverse of R(1,1), as minv rounds it, times G(1,1).
    RunState s = make_state({{0.3}}, {{0.7}}, {}, 1.0);
    prepare_covariances(s);
    const double rinv = (1.0 / 0.7) * (0.7 + 1.0) - 1.0;
    EXPECT_EQ(bits(s.eigmean), bits(rinv * 0.3));
  }
}

TEST(PrepareCovariances, ResidualMatrixThatCannotBeInvertedEndsTheRun) {
  struct Case {
    RunState state;
    const char* diagnostic;  // names the matrix and the trait whose pivot failed
  };
  const Case cases[] = {
      {make_state({{0.3}, {0.1, 0.2}}, {{0.0}, {0.15, 0.8}}, {}, 1.0),
       "the residual matrix R cannot be inverted: the pivot at trait 1 is below 1e-08"},
      {make_state({{0.3}, {0.1, 0.2}}, {{1.0}, {1.0, 1.0}}, {}, 1.0),
       "the residual matrix R cannot be inverted: the pivot at trait 2 is below 1e-08"},
  };
  for (const Case& c : cases) {
    RunState s = c.state;
    const auto end = run_end_of([&] { prepare_covariances(s); });
    if (!end) {
      ADD_FAILURE() << c.diagnostic << ": the run should have ended";
      continue;
    }
    EXPECT_EQ(end->status, ExitStatus::SingularMatrix);
    EXPECT_EQ(end->console_notice, "matrix singulaer!");
    EXPECT_EQ(end->diagnostic, c.diagnostic);
  }
}

}  // namespace
}  // namespace vcshrink
