#include "records/field.h"

#include <charconv>
#include <cmath>
#include <string>

namespace vcshrink {

namespace {

std::string asterisks(int w) { return std::string(static_cast<std::size_t>(w), '*'); }

std::string right_aligned(const std::string& s, int w) {
  if (static_cast<int>(s.size()) > w) return asterisks(w);
  return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + s;
}

// Every finite double has at most 1074 decimals, so this many give its exact value.
constexpr int ExactDecimals = 1074;
constexpr int SignificantDigits = 16;

}  // namespace

std::string fixed_field(double x, int w, int d) {
  if (w < 0) w = 0;
  if (d < 0) d = 0;
  const std::size_t nd = static_cast<std::size_t>(d);

  if (std::isnan(x) || std::isinf(x)) {
    std::string s = std::signbit(x) ? "-" : "";
    s += std::isnan(x) ? "NaN" : "Inf";
    if (static_cast<int>(s.size()) > w) return asterisks(w);
    return s + std::string(static_cast<std::size_t>(w) - s.size(), ' ');
  }

  // The exact decimal expansion of |x|: integer digits, then ExactDecimals decimals.
  char buf[310 + 1 + ExactDecimals + 1];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::fixed, ExactDecimals);
  std::string digits;
  std::size_t point = 0;  // number of integer digits in `digits`
  for (const char* p = buf; p != res.ptr; ++p) {
    if (*p == '.') {
      point = digits.size();
    } else {
      digits.push_back(*p);
    }
  }

  // Keep d decimals, but at most 16 significant digits; round half away from zero on
  // the first dropped digit (the expansion is exact, so a 5 there means at least half).
  std::size_t want = point + nd;
  std::size_t first = digits.find_first_not_of('0');
  std::size_t keep = want;
  if (first != std::string::npos) keep = std::min(keep, first + SignificantDigits);
  bool up = keep < digits.size() && digits[keep] >= '5';
  if (digits.size() < want) digits.append(want - digits.size(), '0');
  digits.resize(want);
  for (std::size_t i = keep; i < want; ++i) digits[i] = '0';
  if (up) {
    std::size_t i = keep;
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i == 0) {
      digits.insert(digits.begin(), '1');
      ++point;
    } else {
      ++digits[i - 1];
    }
  }

  const bool nonzero = digits.find_first_not_of('0') != std::string::npos;
  const bool sign = nonzero && std::signbit(x);
  std::string integer_digits = digits.substr(0, point);
  integer_digits.erase(0, std::min(integer_digits.find_first_not_of('0'), integer_digits.size()));
  const std::string decimals = digits.substr(point);
  const int s = sign ? 1 : 0;

  std::string text = sign ? "-" : "";
  if (!integer_digits.empty()) {
    text += integer_digits + "." + decimals;
  } else if (w > s + 1 + d) {
    text += "0." + decimals;
  } else if (w == s + 1 + d) {
    text += "." + decimals;  // no room for the leading zero
  } else {
    return asterisks(w);
  }
  return right_aligned(text, w);
}

std::string integer_field(std::int64_t value, int w) {
  if (w < 0) w = 0;
  return right_aligned(std::to_string(value), w);
}

std::string text_field(std::string_view text, int w) {
  if (w < 0) w = 0;
  const std::size_t n = static_cast<std::size_t>(w);
  if (n < text.size()) return std::string(text.substr(0, n));
  return std::string(n - text.size(), ' ') + std::string(text);
}

}  // namespace vcshrink
