// Record templates: the layout of one output statement as a list of literals,
// skips, record breaks, groups and fields, and the values its fields consume.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "records/field.h"

namespace vcshrink {

struct Element;
using Template = std::vector<Element>;

struct Element {
  enum class Kind : unsigned char { Literal, Skip, Break, Group, Field, Repeat };
  Kind kind = Kind::Literal;
  std::string text;   // Literal
  int count = 0;      // Skip: places; Group, Repeat: repeat count
  FieldLayout field{};  // Field, Repeat
  Template body;      // Group
};

inline Element lit(std::string_view s) { return {Element::Kind::Literal, std::string(s), 0, {}, {}}; }
inline Element skip(int n) { return {Element::Kind::Skip, {}, n, {}, {}}; }
inline Element brk() { return {Element::Kind::Break, {}, 0, {}, {}}; }
inline Element group(int n, Template body) { return {Element::Kind::Group, {}, n, {}, std::move(body)}; }
inline Element field(FieldLayout f) { return {Element::Kind::Field, {}, 1, f, {}}; }
inline Element repeat(int n, FieldLayout f) { return {Element::Kind::Repeat, {}, n, f, {}}; }

// A value for one field: a real for fixed fields, an integer, or a text.
using Value = std::variant<double, std::int64_t, std::string_view>;

}  // namespace vcshrink
