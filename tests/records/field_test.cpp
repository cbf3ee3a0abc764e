#include "records/field.h"

#include <gtest/gtest.h>

#include <limits>
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
