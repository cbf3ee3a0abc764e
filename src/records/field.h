// Rendering of single values into fixed-width fields. A field's layout (kind, width,
// decimals) is a plain value; the render functions never fail: a value that does
// not fit shows as asterisks, a NaN or infinity as left-aligned "NaN"/"Inf".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vcshrink {

enum class FieldKind : unsigned char { Fixed, Integer, Text };

struct FieldLayout {
  FieldKind kind = FieldKind::Fixed;
  int width = 0;
  int decimals = 0;  // fixed fields only
};

constexpr FieldLayout fixed(int width, int decimals) { return {FieldKind::Fixed, width, decimals}; }
constexpr FieldLayout integer(int width) { return {FieldKind::Integer, width, 0}; }
constexpr FieldLayout text(int width) { return {FieldKind::Text, width, 0}; }

// x in exactly w characters with d decimals, rounded half away from zero on the
// exact value of the double; at most 16 significant digits come from the value.
// Writes the w characters at out (which has room for them); w < 0 counts as 0.
void put_fixed(char* out, double x, int w, int d);
std::string fixed_field(double x, int w, int d);

// The same text as fixed_field, formed from the double's full decimal expansion
// (up to 1074 decimals): slow, but plainly exact. fixed_field falls back on it for
// magnitudes of 2^52 and more and for more than 19 decimals.
std::string fixed_field_by_expansion(double x, int w, int d);

// value in decimal, right-aligned in w characters; w asterisks when it does not fit.
void put_integer(char* out, std::int64_t value, int w);
std::string integer_field(std::int64_t value, int w);

// The first w characters of text, or text right-aligned behind w - len blanks.
void put_text(char* out, std::string_view text, int w);
std::string text_field(std::string_view text, int w);

}  // namespace vcshrink
