// minv and mpro: results worked out by hand on small matrices, the failed pivot that
// minv reports, and bit-for-bit agreement with the reference routines on random matrices.
#include "matrix/matrix_ops.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "reference_matrix.h"

namespace vcshrink {
namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
// The NaN every invalid operation of the program produces (sign bit set); the input
// has no way to name another one.
const double DefaultNaN = std::bit_cast<double>(std::uint64_t{0xFFF8000000000000});

bool same_bits(const TraitMatrix& x, const TraitMatrix& y) { return std::memcmp(x.a.data(), y.a.data(), sizeof x.a) == 0; }

// The first element whose bits differ, for the failure message.
std::string first_difference(const TraitMatrix& x, const TraitMatrix& y) {
  for (int j = 1; j <= MaxTraits; ++j)
    for (int i = 1; i <= MaxTraits; ++i)
      if (std::bit_cast<std::uint64_t>(x(i, j)) != std::bit_cast<std::uint64_t>(y(i, j))) {
        std::ostringstream out;
        out.precision(17);
        out << "(" << i << "," << j << "): " << x(i, j) << " vs " << y(i, j);
        return out.str();
      }
  return "none";
}

TraitMatrix from_rows(std::initializer_list<std::initializer_list<double>> rows) {
  TraitMatrix m;
  int i = 1;
  for (auto row : rows) {
    int j = 1;
    for (double v : row) m(i, j++) = v;
    ++i;
  }
  return m;
}

// Runs minv; says whether it stopped at a pivot below the limit, and at which step.
struct MinvOutcome {
  bool ended = false;
  int pivot = 0;
};
MinvOutcome run_minv(TraitMatrix& a, int n) {
  const MinvResult r = minv(a, n);
  return {!r.inverted(), r.failed_pivot};
}

TEST(Minv, OneByOneThreeIsTheStoredFourTimesTheRoundedReciprocalLessOne) {
  TraitMatrix a = from_rows({{3.0}});
  ASSERT_TRUE(minv(a, 1).inverted());
  EXPECT_EQ(std::bit_cast<std::uint64_t>(a(1, 1)), std::bit_cast<std::uint64_t>(0.33333333333333326));
  EXPECT_NE(a(1, 1), 1.0 / 3.0);
}

TEST(Minv, SmallPivotIsReportedAsFailed) {
  struct Case {
    const char* what;
    TraitMatrix a;
    int n;
  };
  TraitMatrix tiny_identity;
  for (int k = 1; k <= 3; ++k) tiny_identity(k, k) = 1e-9;
  const Case cases[] = {
      {"invertible but needs an exchange", from_rows({{0, 1}, {1, 0}}), 2},
      {"1e-9 times the identity", tiny_identity, 3},
      {"pivot one unit near 1 below the limit", from_rows({{PivotLimit - 0x1p-52}}), 1},
      {"zero second pivot", from_rows({{2, 4}, {1, 2}}), 2},
  };
  for (const Case& c : cases) {
    TraitMatrix a = c.a;
    const MinvOutcome out = run_minv(a, c.n);
    ASSERT_TRUE(out.ended) << c.what;
    EXPECT_GE(out.pivot, 1) << c.what;
  }
}

TEST(Minv, PivotOfExactlyTheLimitInEitherSignPasses) {
  for (double p : {PivotLimit, -PivotLimit}) {
    TraitMatrix a = from_rows({{p}});
    const MinvOutcome out = run_minv(a, 1);
    EXPECT_FALSE(out.ended) << p;
    EXPECT_EQ(a(1, 1), (1.0 / p) * (p + 1.0) - 1.0) << p;
  }
}

TEST(Minv, NaNPivotIsNotBelowTheLimitAndSpreads) {
  TraitMatrix a = from_rows({{DefaultNaN, 1}, {1, 2}});
  const MinvOutcome out = run_minv(a, 2);
  EXPECT_FALSE(out.ended);
  EXPECT_TRUE(std::isnan(a(2, 2)));
}

TEST(Minv, SizeZeroAndTheStorageOutsideTheBlockAreLeftAlone) {
  TraitMatrix a;
  for (std::size_t k = 0; k < a.a.size(); ++k) a.a[k] = 0.5 + static_cast<double>(k);
  const TraitMatrix before = a;
  ASSERT_TRUE(minv(a, 0).inverted());
  EXPECT_TRUE(same_bits(a, before));

  TraitMatrix b = before;
  b(1, 1) = 4.0;
  b(1, 2) = 1.0;
  b(2, 1) = 1.0;
  b(2, 2) = 3.0;
  TraitMatrix expected = b;
  ASSERT_TRUE(reference::minv(expected, 2));
  ASSERT_TRUE(minv(b, 2).inverted());
  EXPECT_TRUE(same_bits(b, expected)) << first_difference(b, expected);
  EXPECT_EQ(b(3, 1), before(3, 1));
  EXPECT_EQ(b(1, 3), before(1, 3));
}

TEST(Mpro, ClearsOnlyTheResultBlockAndStartsEachSumFromPositiveZero) {
  TraitMatrix a, b, c;
  c.a.fill(7.0);
  a(1, 1) = 1.0;
  mpro(a, b, c, 2, 0, 3);  // no products: the 2 x 3 block is cleared, the rest kept
  for (int j = 1; j <= 4; ++j)
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(c(i, j), (i <= 2 && j <= 3) ? 0.0 : 7.0) << i << "," << j;

  a(1, 1) = -0.0;
  b(1, 1) = 1.0;
  mpro(a, b, c, 1, 1, 1);  // 0 + (-0) is +0
  EXPECT_FALSE(std::signbit(c(1, 1)));
}

TEST(Mpro, RowTimesColumnIsTheAscendingScalarProduct) {
  TraitMatrix row;  // a one-row matrix: its elements 30 apart
  TraitVector col, out;
  const double u[] = {1e16, 1.0, -1e16, 1.0};
  const double v[] = {1.0, 1.0, 1.0, 1.0};
  for (int k = 1; k <= 4; ++k) {
    row(1, k) = u[k - 1];
    col(k) = v[k - 1];
  }
  mpro(row, col, out, 1, 4);
  // ((((0 + 1e16) + 1) + -1e16) + 1): the first 1 is lost to rounding.
  EXPECT_EQ(out(1), 1.0);
  EXPECT_EQ(out(2), 0.0);
}

// Random matrices of every size, of the kinds the program meets and the kinds it
// must survive, compared bit for bit with the reference routines.
enum class Kind { PositiveDefinite, Indefinite, General, BadlyConditioned, Specials };

class Generator {
 public:
  explicit Generator(std::uint64_t seed) : rng_(seed) {}

  // A matrix whose storage outside the leading n x n block holds noise too.
  TraitMatrix matrix(Kind kind, int n) {
    TraitMatrix m;
    for (double& x : m.a) x = uniform(-1.0, 1.0);
    switch (kind) {
      case Kind::PositiveDefinite: {
        TraitMatrix x;
        for (double& e : x.a) e = uniform(-1.0, 1.0);
        for (int j = 1; j <= n; ++j)
          for (int i = 1; i <= n; ++i) {
            double s = 0.0;
            for (int k = 1; k <= n; ++k) s += x(i, k) * x(j, k);
            m(i, j) = s + (i == j ? 0.1 * n : 0.0);
          }
        break;
      }
      case Kind::Indefinite:
        for (int j = 1; j <= n; ++j)
          for (int i = j; i <= n; ++i) m(i, j) = m(j, i) = uniform(-5.0, 5.0);
        for (int k = 1; k <= n; ++k) m(k, k) = (k % 2 ? 1.0 : -1.0) * uniform(2.0, 10.0);
        break;
      case Kind::General:
        for (int j = 1; j <= n; ++j)
          for (int i = 1; i <= n; ++i) m(i, j) = uniform(-3.0, 3.0) * std::pow(10.0, uniform(-3.0, 3.0));
        break;
      case Kind::BadlyConditioned:  // Hilbert-like, scaled over many decades
        for (int j = 1; j <= n; ++j)
          for (int i = 1; i <= n; ++i)
            m(i, j) = 1.0 / (i + j - 1 + uniform(0.0, 1e-3)) * std::pow(10.0, (i + j) % 7 - 3.0);
        break;
      case Kind::Specials: {
        for (int j = 1; j <= n; ++j)
          for (int i = 1; i <= n; ++i) m(i, j) = uniform(-2.0, 2.0) + (i == j ? 4.0 : 0.0);
        const double specials[] = {Inf, -Inf, DefaultNaN, -0.0, 0.0, 1e308, -1e-310};
        const int count = 1 + static_cast<int>(uniform(0.0, 3.0));
        for (int s = 0; s < count; ++s) {
          const int i = 1 + static_cast<int>(uniform(0.0, n - 1e-9));
          const int j = 1 + static_cast<int>(uniform(0.0, n - 1e-9));
          m(i, j) = specials[static_cast<int>(uniform(0.0, 7.0 - 1e-9))];
        }
        break;
      }
    }
    return m;
  }

  int size(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

 private:
  double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  std::mt19937_64 rng_;
};

constexpr Kind AllKinds[] = {Kind::PositiveDefinite, Kind::Indefinite, Kind::General, Kind::BadlyConditioned,
                             Kind::Specials};

TEST(Minv, MatchesTheReferenceBitForBitOnRandomMatrices) {
  Generator gen(20240611);
  int inverted = 0, ended = 0;
  for (Kind kind : AllKinds) {
    for (int n = 1; n <= MaxTraits; ++n) {
      for (int rep = 0; rep < 8; ++rep) {
        const TraitMatrix input = gen.matrix(kind, n);
        TraitMatrix expected = input, got = input;
        const bool ok = reference::minv(expected, n);
        const MinvOutcome out = run_minv(got, n);
        ASSERT_EQ(out.ended, !ok) << "kind " << static_cast<int>(kind) << " n " << n << " rep " << rep;
        ASSERT_TRUE(same_bits(got, expected))
            << "kind " << static_cast<int>(kind) << " n " << n << " rep " << rep << " first difference "
            << first_difference(got, expected);
        (ok ? inverted : ended) += 1;
      }
    }
  }
  EXPECT_GT(inverted, 1000);  // the comparison covered finished inverses, not just early ends
}

// The run may end at any step, the first or the second of a pair the routine takes
// together; the matrix then holds exactly the earlier steps' result.
TEST(Minv, SmallPivotAtAnyStepLeavesTheEarlierStepsAsTheReferenceDoes) {
  Generator gen(5);
  for (int n : {2, 5, 6, 30}) {
    for (int step = 1; step <= n; ++step) {
      TraitMatrix input = gen.matrix(Kind::General, n);
      // A singular leading block of order step: its last row repeats its first.
      if (step == 1) input(1, 1) = 0.0;
      for (int k = 1; k <= step && step > 1; ++k) input(step, k) = input(1, k);
      TraitMatrix expected = input, got = input;
      ASSERT_FALSE(reference::minv(expected, n)) << "n " << n << " step " << step;
      const MinvOutcome out = run_minv(got, n);
      ASSERT_TRUE(out.ended) << "n " << n << " step " << step;
      EXPECT_EQ(out.pivot, step) << "n " << n;
      ASSERT_TRUE(same_bits(got, expected)) << "n " << n << " step " << step << " " << first_difference(got, expected);
    }
  }
}

TEST(Mpro, MatchesTheReferenceBitForBitOnRandomShapes) {
  Generator gen(77);
  for (Kind kind : AllKinds) {
    for (int rep = 0; rep < 300; ++rep) {
      // Mostly full-size and vector shapes, as the callers use them, plus odd ones.
      const int pick = rep % 4;
      const int l = pick == 1 ? 1 : gen.size(0, MaxTraits);
      const int m = gen.size(0, MaxTraits);
      const int n = pick == 2 ? 1 : gen.size(0, MaxTraits);
      const TraitMatrix a = gen.matrix(kind, MaxTraits), b = gen.matrix(kind, MaxTraits);
      const TraitMatrix c0 = gen.matrix(Kind::General, MaxTraits);
      TraitMatrix expected = c0, got = c0;
      reference::mpro(a.a.data(), b.a.data(), expected.a.data(), l, m, n);
      mpro(a, b, got, l, m, n);
      ASSERT_TRUE(same_bits(got, expected))
          << "kind " << static_cast<int>(kind) << " " << l << "x" << m << "x" << n << " first difference "
          << first_difference(got, expected);
    }
  }
}

}  // namespace
}  // namespace vcshrink
