#include "records/field.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace vcshrink {

namespace {

// Products of a 53-bit significand and a power of ten up to 10^19 fit in 117 bits.
__extension__ typedef unsigned __int128 Wide;

constexpr int SignificantDigits = 16;
constexpr int MaxFastDecimals = 19;  // 10^19 is the largest power of ten below 2^64
// No finite double has more than 1074 decimals.
constexpr int ExactDecimals = 1074;

constexpr std::uint64_t pow10(int n) {
  std::uint64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

// 10^0 .. 10^19, looked up rather than multiplied out for every field.
constexpr auto Pow10 = [] {
  std::array<std::uint64_t, MaxFastDecimals + 1> p{};
  for (int n = 0; n <= MaxFastDecimals; ++n) p[static_cast<std::size_t>(n)] = pow10(n);
  return p;
}();

std::uint64_t power_of_ten(int n) { return Pow10[static_cast<std::size_t>(n)]; }

// "00", "01", .., "99": the digits of a number are formed two at a time.
constexpr auto DigitPairs = [] {
  std::array<char, 200> t{};
  for (std::size_t i = 0; i < 100; ++i) {
    t[2 * i] = static_cast<char>('0' + i / 10);
    t[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return t;
}();

std::size_t places(int w) { return w < 0 ? 0 : static_cast<std::size_t>(w); }

// Lays out a rounded magnitude right-aligned in w places: the sign, its k integer
// digits (none when it is below 1), ".", its d decimals. Below 1 the "0" before the
// point is dropped when there is no room for it; w asterisks when it does not fit.
void compose(char* out, std::size_t w, bool sign, const char* integer_digits, std::size_t k, const char* decimals,
             std::size_t d) {
  const std::size_t s = sign ? 1 : 0;
  const bool leading_zero = k == 0 && w > s + 1 + d;
  const std::size_t len = s + (k > 0 ? k : leading_zero ? 1 : 0) + 1 + d;
  if (len > w) {
    std::memset(out, '*', w);
    return;
  }
  char* p = out + (w - len);
  std::memset(out, ' ', w - len);
  if (sign) *p++ = '-';
  if (k > 0) {
    std::memcpy(p, integer_digits, k);
    p += k;
  } else if (leading_zero) {
    *p++ = '0';
  }
  *p++ = '.';
  std::memcpy(p, decimals, d);
}

// "NaN" or "Inf", after "-" when the sign bit is set, at the left of w places.
void put_not_finite(char* out, double x, std::size_t w) {
  char t[4];
  std::size_t n = 0;
  if (std::signbit(x)) t[n++] = '-';
  std::memcpy(t + n, std::isnan(x) ? "NaN" : "Inf", 3);
  n += 3;
  if (n > w) {
    std::memset(out, '*', w);
    return;
  }
  std::memcpy(out, t, n);
  std::memset(out + n, ' ', w - n);
}

// The full decimal expansion of |x| rounded at d decimals or 16 significant digits,
// whichever comes first, half away from zero on the first dropped digit (the
// expansion is exact, so a 5 there means at least half).
void put_by_expansion(char* out, double x, std::size_t w, std::size_t nd) {
  // A double of binary exponent E (|x| = f 2^E, 1/2 <= f < 1) is a multiple of
  // 2^(E - 53), whose expansion ends at 53 - E decimals: that many give it exactly.
  int exponent = 0;
  std::frexp(x, &exponent);
  const int exact_decimals = std::clamp(53 - exponent, 0, ExactDecimals);
  char buf[310 + 1 + ExactDecimals + 1];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::fixed, exact_decimals);
  std::string digits;
  std::size_t point = std::string::npos;  // number of integer digits in `digits`
  for (const char* p = buf; p != res.ptr; ++p) {
    if (*p == '.') {
      point = digits.size();
    } else {
      digits.push_back(*p);
    }
  }
  if (point == std::string::npos) point = digits.size();  // an integer: no decimals written

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

  const bool sign = digits.find_first_not_of('0') != std::string::npos && std::signbit(x);
  const std::size_t lead = std::min(digits.find_first_not_of('0'), point);  // leading zeros of the integer part
  compose(out, w, sign, digits.data() + lead, point - lead, digits.data() + point, nd);
}

// m 2^-s 10^d rounded to an integer, half away from zero: exact, since the product
// m 10^d is formed whole (s >= 1).
Wide rounded(std::uint64_t m, int s, int d) {
  const Wide n = static_cast<Wide>(m) * power_of_ten(d);
  if (s >= 128) return 0;  // n < 2^117: below half of 2^s
  const Wide q = n >> s;
  const Wide rest = n - (q << s);
  return q + (rest >= (static_cast<Wide>(1) << (s - 1)) ? 1 : 0);
}

// Decimal digits of v ending at end, at least min_digits of them (zeros in front);
// none for 0 unless min_digits asks. Returns the first digit.
char* digits_before(char* end, Wide v, std::size_t min_digits) {
  char* p = end;
  if (v > ~std::uint64_t{0}) {
    constexpr std::uint64_t Chunk = pow10(19);
    std::uint64_t low = static_cast<std::uint64_t>(v % Chunk);
    for (int i = 0; i < 19; ++i, low /= 10) *--p = static_cast<char>('0' + low % 10);
    v /= Chunk;
  }
  std::uint64_t u = static_cast<std::uint64_t>(v);
  for (; u >= 10; u /= 100) {
    p -= 2;
    std::memcpy(p, &DigitPairs[2 * (u % 100)], 2);
  }
  if (u != 0) *--p = static_cast<char>('0' + u);
  while (static_cast<std::size_t>(end - p) < min_digits) *--p = '0';
  return p;
}

}  // namespace

void put_fixed(char* out, double x, int w, int d) {
  const std::size_t nw = places(w);
  if (d < 0) d = 0;
  if (!std::isfinite(x)) {
    put_not_finite(out, x, nw);
    return;
  }

  // |x| = m 2^e. Below 2^52 (e < 0) and with at most 19 decimals the rounding is done
  // in exact integer arithmetic; anything else takes the full expansion.
  const auto bits = std::bit_cast<std::uint64_t>(x);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  const std::uint64_t m = biased == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
  const int e = biased == 0 ? -1074 : biased - 1075;
  if (e >= 0 || d > MaxFastDecimals) {
    put_by_expansion(out, x, nw, static_cast<std::size_t>(d));
    return;
  }
  const int s = -e;

  // The digits of |x| down to d decimals; when they are more than 16 significant
  // digits, round at the 16th instead and write zeros for the positions after it.
  Wide q;
  const Wide truncated = s >= 128 ? 0 : (static_cast<Wide>(m) * power_of_ten(d)) >> s;
  if (truncated < pow10(SignificantDigits)) {
    q = rounded(m, s, d);
  } else {
    int excess = 1;
    for (Wide limit = static_cast<Wide>(pow10(SignificantDigits)) * 10; truncated >= limit; limit *= 10) ++excess;
    if (excess > d) {
      put_by_expansion(out, x, nw, static_cast<std::size_t>(d));
      return;
    }
    q = rounded(m, s, d - excess) * power_of_ten(excess);
  }

  // q holds the rounded magnitude in units of 10^-d: at least d digits, the last d
  // of them the decimals.
  char buf[48];
  char* const end = buf + sizeof buf;
  const std::size_t nd = static_cast<std::size_t>(d);
  const char* first = digits_before(end, q, nd);
  const std::size_t k = static_cast<std::size_t>(end - first) - nd;
  compose(out, nw, q != 0 && std::signbit(x), first, k, first + k, nd);
}

std::string fixed_field(double x, int w, int d) {
  std::string s(places(w), ' ');
  put_fixed(s.data(), x, w, d);
  return s;
}

std::string fixed_field_by_expansion(double x, int w, int d) {
  std::string s(places(w), ' ');
  if (std::isfinite(x)) {
    put_by_expansion(s.data(), x, s.size(), places(d));
  } else {
    put_not_finite(s.data(), x, s.size());
  }
  return s;
}

void put_integer(char* out, std::int64_t value, int w) {
  const std::size_t nw = places(w);
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  const std::size_t len = static_cast<std::size_t>(res.ptr - buf);
  if (len > nw) {
    std::memset(out, '*', nw);
    return;
  }
  std::memset(out, ' ', nw - len);
  std::memcpy(out + (nw - len), buf, len);
}

std::string integer_field(std::int64_t value, int w) {
  std::string s(places(w), ' ');
  put_integer(s.data(), value, w);
  return s;
}

void put_text(char* out, std::string_view text, int w) {
  const std::size_t nw = places(w);
  if (nw < text.size()) {
    std::memcpy(out, text.data(), nw);
    return;
  }
  std::memset(out, ' ', nw - text.size());
  if (!text.empty()) std::memcpy(out + (nw - text.size()), text.data(), text.size());
}

std::string text_field(std::string_view text, int w) {
  std::string s(places(w), ' ');
  put_text(s.data(), text, w);
  return s;
}

}  // namespace vcshrink
