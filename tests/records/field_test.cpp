#include "records/field.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

namespace vcshrink {
namespace {

struct FixedCase {
  double x;
  int w;
  int d;
  const char* want;
};

// A NaN formed at run time by an invalid operation, as the arithmetic of a run forms it.
double runtime_nan() {
  volatile double zero = 0.0;
  return zero / zero;
}

TEST(FixedField, RendersTableOfCases) {
  const double inf = std::numeric_limits<double>::infinity();
  const FixedCase cases[] = {
      // Ordinary values in the widths the report uses.
      {0.25, 5, 2, " 0.25"},
      {1.0, 5, 2, " 1.00"},
      {0.5, 6, 3, " 0.500"},
      {0.3, 14, 6, "      0.300000"},
      {0.278372093023, 14, 6, "      0.278372"},
      {1234567.1234567, 14, 6, "1234567.123457"},
      {-1234567.0, 14, 6, "**************"},
      // Signs, and the leading zero dropped for lack of room.
      {-0.25, 8, 2, "   -0.25"},
      {-0.25, 5, 2, "-0.25"},
      {-0.25, 4, 2, "-.25"},
      {-0.25, 3, 2, "***"},
      {0.5, 3, 2, ".50"},
      {0.5, 2, 2, "**"},
      // Zero and values that round to zero never show a sign.
      {0.0, 14, 6, "      0.000000"},
      {-0.0, 14, 6, "      0.000000"},
      {-1e-10, 14, 6, "      0.000000"},
      {-0.004, 5, 2, " 0.00"},
      {-0.006, 5, 2, "-0.01"},
      {1e-300, 8, 2, "    0.00"},
      {0.0, 3, 2, ".00"},
      {0.0, 2, 2, "**"},
      {0.0, 3, 0, " 0."},
      {-0.004, 3, 2, ".00"},
      // Half away from zero on the exact value of the double.
      {0.125, 5, 2, " 0.13"},
      {-0.125, 6, 2, " -0.13"},
      {0.375, 5, 2, " 0.38"},
      {2.5, 3, 0, " 3."},
      {-2.5, 4, 0, " -3."},
      {0.35, 5, 1, "  0.3"},            // stored just below 0.35
      {99999.995, 8, 2, "99999.99"},    // stored just below the tie
      {1.0000005, 14, 6, "      1.000001"},
      // Carries into a new leading digit.
      {9.9996, 6, 3, "10.000"},
      {9.9996, 5, 3, "*****"},
      {0.9996, 5, 3, "1.000"},
      {-0.9996, 6, 3, "-1.000"},
      {9999999.9999995, 14, 6, "**************"},
      // The largest magnitudes of each report width, and one step past them.
      {9999999.999999, 14, 6, "9999999.999999"},
      {-999999.999999, 14, 6, "-999999.999999"},
      {-999999.9999996, 14, 6, "**************"},
      {99999.99, 8, 2, "99999.99"},
      {99999.996, 8, 2, "********"},
      {-9999.99, 8, 2, "-9999.99"},
      {-9999.996, 8, 2, "********"},
      {999.99, 6, 2, "999.99"},
      {-99.99, 6, 2, "-99.99"},
      {-99.996, 6, 2, "******"},
      {99.999, 6, 3, "99.999"},
      {-9.999, 6, 3, "-9.999"},
      {-9.9996, 6, 3, "******"},
      {99.99, 5, 2, "99.99"},
      {-9.99, 5, 2, "-9.99"},
      {999.9, 5, 1, "999.9"},
      {999.96, 5, 1, "*****"},
      {-99.9, 5, 1, "-99.9"},
      {-99.96, 5, 1, "*****"},
      // Not a number and infinities, left-aligned.
      {inf, 8, 2, "Inf     "},
      {-inf, 8, 2, "-Inf    "},
      {-inf, 3, 2, "***"},
      {inf, 3, 2, "Inf"},
      {std::numeric_limits<double>::quiet_NaN(), 8, 2, "NaN     "},
      // At most 16 significant digits come from the value.
      {0.1, 25, 20, "   0.10000000000000000000"},
      {123456789.123456789, 22, 12, "123456789.123456800000"},
      {1e20, 24, 2, "100000000000000000000.00"},
  };
  for (const FixedCase& c : cases) {
    EXPECT_EQ(fixed_field(c.x, c.w, c.d), c.want) << c.x << " in (" << c.w << ", " << c.d << ")";
    EXPECT_EQ(fixed_field_by_expansion(c.x, c.w, c.d), c.want) << c.x << " in (" << c.w << ", " << c.d << ")";
  }
}

TEST(FixedField, InvalidOperationGivesNegativeNaN) {
  EXPECT_EQ(fixed_field(runtime_nan(), 8, 2), "-NaN    ");
  EXPECT_EQ(fixed_field(runtime_nan(), 3, 2), "***");
}

TEST(FixedField, SubnormalsAndExtremesKeepTheirWidth) {
  EXPECT_EQ(fixed_field(std::numeric_limits<double>::denorm_min(), 14, 6), "      0.000000");
  EXPECT_EQ(fixed_field(-std::numeric_limits<double>::max(), 14, 6), "**************");
  EXPECT_EQ(fixed_field(1.0, 0, 2), "");
}

// The layouts of the report's fixed fields.
struct Layout {
  int w;
  int d;
};
constexpr Layout ReportLayouts[] = {{14, 6}, {8, 2}, {6, 2}, {6, 3}, {5, 2}, {5, 1}};

// Compares fixed_field with the full decimal expansion; reports the first few values
// that differ and counts them all.
class AgainstExpansion {
 public:
  void check(double x, int w, int d) {
    const std::string fast = fixed_field(x, w, d);
    const std::string exact = fixed_field_by_expansion(x, w, d);
    if (fast == exact) return;
    if (++differences_ <= 10) {
      ADD_FAILURE() << std::hexfloat << x << std::defaultfloat << " (" << x << ") in (" << w << ", " << d
                    << "): \"" << fast << "\", expansion \"" << exact << "\"";
    }
  }
  // x and its n nearest doubles each way, at both signs.
  void check_around(double x, int n, int w, int d) {
    check(x, w, d);
    check(-x, w, d);
    double lo = x, hi = x;
    for (int i = 0; i < n; ++i) {
      lo = std::nextafter(lo, 0.0);
      hi = std::nextafter(hi, HUGE_VAL);
      for (double v : {lo, hi, -lo, -hi}) check(v, w, d);
    }
  }
  long differences() const { return differences_; }

 private:
  long differences_ = 0;
};

#if defined(__SANITIZE_ADDRESS__)
constexpr bool Sanitized = true;
#elif defined(__has_feature)
constexpr bool Sanitized = __has_feature(address_sanitizer);
#else
constexpr bool Sanitized = false;
#endif

TEST(FixedField, MatchesTheFullExpansionOnRandomValues) {
  // A million values in the plain build (fewer under the sanitizers, which are slow):
  // any bit pattern, values of the size the report shows, and doubles next to the
  // decimal ties, each in a report layout or now and then in any layout.
  const long count = Sanitized ? 200000 : 1000000;
  std::mt19937_64 bits(20240611);
  AgainstExpansion cmp;
  for (long n = 0; n < count; ++n) {
    const std::uint64_t r = bits();
    const Layout report_layout = ReportLayouts[r % 6];
    const bool any_layout = (r >> 3) % 8 == 0;
    const int w = any_layout ? static_cast<int>((r >> 6) % 41) : report_layout.w;
    const int d = any_layout ? static_cast<int>((r >> 12) % 23) : report_layout.d;
    const std::uint64_t v = bits();
    double x = 0.0;
    switch (r >> 62) {
      case 0:  // any double, NaNs and infinities included
        x = std::bit_cast<double>(v);
        break;
      case 1:  // magnitudes from 2^-40 to 2^34
        x = std::ldexp(static_cast<double>(v >> 11), static_cast<int>((r >> 20) % 75) - 93);
        break;
      default: {  // next to a decimal tie: (j + 1/2) 10^-d and a few doubles either side
        x = (static_cast<double>(v % 100000000000ULL) + 0.5) / std::pow(10.0, d);
        for (int step = static_cast<int>((r >> 24) % 7) - 3; step != 0; step += step < 0 ? 1 : -1)
          x = std::nextafter(x, step < 0 ? 0.0 : HUGE_VAL);
        break;
      }
    }
    if ((r >> 30) & 1) x = -x;
    cmp.check(x, w, d);
  }
  EXPECT_EQ(cmp.differences(), 0);
}

TEST(FixedField, MatchesTheFullExpansionOnEveryTieAndCarry) {
  AgainstExpansion cmp;
  for (const Layout l : ReportLayouts) {
    // A double lies exactly half way between two d-decimal numbers only when it is an
    // odd multiple of 2^-(d+1). Every such tie up to the field's largest magnitude,
    // except in the widest field, where those up to 1000 and the last 10^5 below its
    // limit stand for the rest.
    const double step = std::ldexp(1.0, -(l.d + 1));
    const double limit = std::pow(10.0, l.w - l.d - 1);
    const double stop = l.w == 14 ? 1000.0 : limit;
    for (double t = step; t < stop; t += 2 * step) cmp.check_around(t, 0, l.w, l.d);
    if (l.w == 14) {
      for (double t = limit - step; t > limit - 2e5 * step; t -= 2 * step) cmp.check_around(t, 0, l.w, l.d);
    }
    // Carries into a new leading digit: the doubles either side of 10^k - 10^-d / 2,
    // and the ties just below each power of ten from 10 to the field's limit.
    for (int k = -l.d; k <= l.w - l.d - 1; ++k) {
      const double p = std::pow(10.0, k);
      cmp.check_around(p - 0.5 * std::pow(10.0, -l.d), 3, l.w, l.d);
      for (int j = 0; k >= 1 && j < 20; ++j) cmp.check_around(p - (2 * j + 1) * step, 1, l.w, l.d);
    }
  }
  EXPECT_EQ(cmp.differences(), 0);
}

TEST(IntegerField, RendersTableOfCases) {
  const struct {
    std::int64_t v;
    int w;
    const char* want;
  } cases[] = {{7, 2, " 7"}, {12, 2, "12"}, {123, 2, "**"}, {0, 1, "0"}, {-5, 3, " -5"}, {-10, 2, "**"}};
  for (const auto& c : cases) EXPECT_EQ(integer_field(c.v, c.w), c.want) << c.v;
}

TEST(TextField, CutsOrRightAligns) {
  const std::string eighty(80, 'x');
  EXPECT_EQ(text_field(eighty, 79), std::string(79, 'x'));
  EXPECT_EQ(text_field("AB", 5), "   AB");
  EXPECT_EQ(text_field("AB ", 5), "  AB ");
  EXPECT_EQ(text_field("", 3), "   ");
}

}  // namespace
}  // namespace vcshrink
