#include "input/reading.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace vcshrink {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool ends_token(char c) { return is_blank(c) || c == ',' || c == '/'; }

// The result of a read that stopped at the source: its end or a failure.
ReadResult source_stop(const LineSource& source, LineSource::Status status) {
  ReadResult r;
  r.line = source.line_number();
  switch (status) {
    case LineSource::Status::TooLong:
      r.error = ReadError::LineTooLong;
      break;
    case LineSource::Status::Failed:
      r.error = ReadError::ReadFailed;
      r.os_error = source.os_error();
      break;
    default:
      r.error = ReadError::EndOfSource;
      break;
  }
  return r;
}

ReadResult failure(ReadError e, long line, std::string_view found) {
  ReadResult r;
  r.error = e;
  r.line = line;
  r.found = std::string(found);
  return r;
}

enum class NumberForm : unsigned char { Invalid, Integer, Real };

// Classifies s: [sign] digits [. [digits]] | [sign] . digits, then an optional
// exponent: E, e, D or d, [sign], digits. Integer when it has neither point nor exponent.
NumberForm classify(std::string_view s) {
  std::size_t p = 0;
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
  std::size_t digits = 0;
  while (p < s.size() && is_digit(s[p])) ++p, ++digits;
  bool real = false;
  if (p < s.size() && s[p] == '.') {
    real = true;
    ++p;
    while (p < s.size() && is_digit(s[p])) ++p, ++digits;
  }
  if (digits == 0) return NumberForm::Invalid;
  if (p < s.size() && (s[p] == 'E' || s[p] == 'e' || s[p] == 'D' || s[p] == 'd')) {
    real = true;
    ++p;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
    std::size_t exp_digits = 0;
    while (p < s.size() && is_digit(s[p])) ++p, ++exp_digits;
    if (exp_digits == 0) return NumberForm::Invalid;
  }
  if (p != s.size()) return NumberForm::Invalid;
  return real ? NumberForm::Real : NumberForm::Integer;
}

// Converts a classified number to the nearest double, correctly rounded; an underflow
// gives 0 or a subnormal of the right sign. False when the nearest double is infinite.
bool to_double(std::string_view s, double& x) {
  std::string text;
  text.reserve(s.size() + 1);
  for (char c : s) text.push_back(c == 'D' || c == 'd' ? 'e' : c);
  const char* first = text.data();
  if (*first == '+') ++first;  // from_chars takes no plus sign
  const char* last = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(first, last, x, std::chars_format::general);
  if (ec == std::errc() && ptr == last) return true;
  // Out of range for from_chars: strtod tells an overflow (HUGE_VAL) from an underflow
  // (0 or a subnormal) and gives the nearest double in both cases.
  const double y = std::strtod(text.c_str(), nullptr);
  if (std::isinf(y)) return false;
  x = y;
  return true;
}

// Converts a number without point or exponent to a 32-bit integer.
bool to_int32(std::string_view s, std::int32_t& n) {
  const char* first = s.data();
  const char* last = s.data() + s.size();
  if (*first == '+') ++first;
  std::int32_t v = 0;
  const auto [ptr, ec] = std::from_chars(first, last, v);
  if (ec != std::errc() || ptr != last) return false;
  n = v;
  return true;
}

// Stores the number s in target t; on failure returns the error and leaves t unchanged.
ReadError store(std::string_view s, const Target& t) {
  const NumberForm form = classify(s);
  if (t.integer != nullptr) {
    if (form != NumberForm::Integer) return ReadError::NotAnInteger;
    return to_int32(s, *t.integer) ? ReadError::None : ReadError::IntegerOutOfRange;
  }
  if (form == NumberForm::Invalid) return ReadError::NotANumber;
  return to_double(s, *t.real) ? ReadError::None : ReadError::NumberOutOfRange;
}

ReadError not_a_value(const Target& t) {
  return t.integer != nullptr ? ReadError::NotAnInteger : ReadError::NotANumber;
}

// A number, or a repeat form r*x of one.
bool is_value(std::string_view token) {
  const std::size_t star = token.find('*');
  if (star == std::string_view::npos) return classify(token) != NumberForm::Invalid;
  const std::string_view count = token.substr(0, star);
  if (count.empty()) return false;
  for (char c : count) {
    if (!is_digit(c)) return false;
  }
  return classify(token.substr(star + 1)) != NumberForm::Invalid;
}

}  // namespace

ReadResult read_text_field(LineSource& source, int w, std::string& text) {
  const LineSource::Status st = source.next_line();
  if (st != LineSource::Status::Line) return source_stop(source, st);
  const std::size_t width = w > 0 ? static_cast<std::size_t>(w) : 0;
  const std::string_view line = source.line();
  text.assign(line.substr(0, width));
  text.resize(width, ' ');
  ReadResult r;
  r.line = source.line_number();
  return r;
}

ReadResult read_integer_field(LineSource& source, int w, std::int32_t& value) {
  const LineSource::Status st = source.next_line();
  if (st != LineSource::Status::Line) return source_stop(source, st);
  const std::size_t width = w > 0 ? static_cast<std::size_t>(w) : 0;
  const std::string_view field = source.line().substr(0, width);
  const long line = source.line_number();
  bool negative = false, signed_ = false;
  std::int64_t v = 0;
  std::size_t digits = 0;
  for (char c : field) {
    if (c == ' ') continue;
    if ((c == '+' || c == '-') && !signed_ && digits == 0) {
      signed_ = true;
      negative = c == '-';
    } else if (is_digit(c)) {
      ++digits;
      v = v * 10 + (c - '0');
      if (v > std::int64_t{2147483648}) return failure(ReadError::IntegerOutOfRange, line, field);
    } else {
      return failure(ReadError::BadIntegerField, line, field);
    }
  }
  if (signed_ && digits == 0) return failure(ReadError::BadIntegerField, line, field);
  if (negative) v = -v;
  if (v > std::int64_t{2147483647}) return failure(ReadError::IntegerOutOfRange, line, field);
  value = static_cast<std::int32_t>(v);
  ReadResult r;
  r.line = line;
  return r;
}

ReadResult read_text_line(LineSource& source, std::string& text) {
  const LineSource::Status st = source.next_line();
  if (st != LineSource::Status::Line) return source_stop(source, st);
  std::string_view line = source.line();
  while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
  text.assign(line);
  ReadResult r;
  r.line = source.line_number();
  return r;
}

ReadResult read_values(LineSource& source, std::span<const Target> targets) {
  const std::size_t n = targets.size();
  std::size_t next = 0;
  ReadResult done;
  if (n == 0) return done;
  // A comma here stands for a null value: at the start of the read and right after a comma.
  bool null_at_comma = true;
  for (;;) {
    const LineSource::Status st = source.next_line();
    if (st != LineSource::Status::Line) return source_stop(source, st);
    const std::string_view line = source.line();
    const long line_no = source.line_number();
    std::size_t p = 0;
    // The read ends on this line; p is where its ignored rest starts, and last is the
    // last value's text (a slash leaves both empty).
    const auto finished = [&](std::string_view last = {}, bool slash = false) {
      done.line = line_no;
      if (!slash) {
        done.last = std::string(last);
        done.rest = std::string(line.substr(p));
      }
      return done;
    };
    for (;;) {
      while (p < line.size() && is_blank(line[p])) ++p;
      if (p == line.size()) break;  // a line end separates like a blank
      if (line[p] == ',') {
        ++p;
        if (null_at_comma && ++next == n) return finished();
        null_at_comma = true;
        continue;
      }
      if (line[p] == '/') return finished({}, true);
      std::size_t q = p;
      while (q < line.size() && !ends_token(line[q])) ++q;
      const std::string_view token = line.substr(p, q - p);
      p = q;
      null_at_comma = false;
      const std::size_t star = token.find('*');
      if (star == std::string_view::npos) {
        const ReadError e = store(token, targets[next]);
        if (e != ReadError::None) return failure(e, line_no, token);
        if (++next == n) return finished(token);
        continue;
      }
      // Repeat form: r*x gives r copies of x, r* alone r null values.
      const std::string_view count = token.substr(0, star);
      const std::string_view value = token.substr(star + 1);
      std::size_t r = 0;
      for (char c : count) {
        if (!is_digit(c)) return failure(not_a_value(targets[next]), line_no, token);
        r = r * 10 + static_cast<std::size_t>(c - '0');
        if (r > n) r = n + 1;  // more than any block holds: the surplus is dropped anyway
      }
      if (count.empty()) return failure(not_a_value(targets[next]), line_no, token);
      if (r == 0) return failure(ReadError::BadRepeatCount, line_no, token);
      const std::size_t copies = r < n - next ? r : n - next;
      for (std::size_t k = 0; k < copies; ++k, ++next) {
        if (value.empty()) continue;
        const ReadError e = store(value, targets[next]);
        if (e != ReadError::None) return failure(e, line_no, token);
      }
      if (next == n) return finished(token);
    }
  }
}

bool begins_with_number(std::string_view text) {
  std::size_t p = 0;
  while (p < text.size() && is_blank(text[p])) ++p;
  if (p < text.size() && text[p] == ',') {
    ++p;
    while (p < text.size() && is_blank(text[p])) ++p;
  }
  std::size_t q = p;
  while (q < text.size() && !ends_token(text[q])) ++q;
  return q > p && is_value(text.substr(p, q - p));
}

}  // namespace vcshrink
