// A small XML well-formedness check for the documents the program writes: one root
// element, tags nested and closed in order, attributes quoted and unique per element,
// only the five predefined entities and character references, no stray '<' or '&'.
// Returns an empty string when the document is well formed, else what is wrong.
#pragma once

#include <cctype>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vcshrink::testing {

inline std::string xml_problem(std::string_view doc) {
  std::vector<std::string> open;
  std::size_t i = 0;
  int roots = 0;
  const auto name_char = [](char ch) {
    return std::isalnum(static_cast<unsigned char>(ch)) || ch == '-' || ch == '_' || ch == ':' || ch == '.';
  };
  const auto text_ok = [](std::string_view t) -> bool {
    for (std::size_t k = 0; k < t.size(); ++k) {
      if (t[k] == '<') return false;
      if (t[k] == '&') {
        const std::size_t semi = t.find(';', k);
        if (semi == std::string_view::npos) return false;
        const std::string_view ref = t.substr(k + 1, semi - k - 1);
        if (ref != "amp" && ref != "lt" && ref != "gt" && ref != "quot" && ref != "apos" &&
            !(ref.size() > 1 && ref[0] == '#')) {
          return false;
        }
      }
      const auto b = static_cast<unsigned char>(t[k]);
      if (b < 0x20 && b != '\t' && b != '\n' && b != '\r') return false;
    }
    return true;
  };
  if (doc.substr(0, 5) == "<?xml") {
    i = doc.find("?>");
    if (i == std::string_view::npos) return "unterminated XML declaration";
    i += 2;
  }
  while (i < doc.size()) {
    const std::size_t lt = doc.find('<', i);
    const std::string_view text = doc.substr(i, lt == std::string_view::npos ? doc.size() - i : lt - i);
    if (!text_ok(text)) return "bad character data near byte " + std::to_string(i);
    if (open.empty() && text.find_first_not_of(" \t\r\n") != std::string_view::npos) return "text outside the root";
    if (lt == std::string_view::npos) break;
    i = lt + 1;
    const bool closing = i < doc.size() && doc[i] == '/';
    if (closing) ++i;
    const std::size_t name_start = i;
    while (i < doc.size() && name_char(doc[i])) ++i;
    const std::string name(doc.substr(name_start, i - name_start));
    if (name.empty()) return "tag without a name near byte " + std::to_string(lt);
    if (closing) {
      while (i < doc.size() && std::isspace(static_cast<unsigned char>(doc[i]))) ++i;
      if (i >= doc.size() || doc[i] != '>') return "bad end tag </" + name;
      if (open.empty() || open.back() != name) return "end tag </" + name + "> does not close the open element";
      open.pop_back();
      ++i;
      continue;
    }
    std::set<std::string> attributes;
    for (;;) {
      const std::size_t before = i;
      while (i < doc.size() && std::isspace(static_cast<unsigned char>(doc[i]))) ++i;
      if (i >= doc.size()) return "unterminated tag <" + name;
      if (doc[i] == '>' || doc.substr(i, 2) == "/>") break;
      if (i == before) return "attributes of <" + name + "> not separated";
      const std::size_t a = i;
      while (i < doc.size() && name_char(doc[i])) ++i;
      const std::string attr(doc.substr(a, i - a));
      if (attr.empty() || i >= doc.size() || doc[i] != '=') return "bad attribute in <" + name;
      if (!attributes.insert(attr).second) return "attribute " + attr + " repeated in <" + name;
      ++i;
      if (i >= doc.size() || (doc[i] != '"' && doc[i] != '\'')) return "unquoted attribute " + attr;
      const char q = doc[i++];
      const std::size_t end = doc.find(q, i);
      if (end == std::string_view::npos || !text_ok(doc.substr(i, end - i))) return "bad value of " + attr;
      i = end + 1;
    }
    if (open.empty() && ++roots > 1) return "more than one root element";
    if (doc[i] == '/') {
      i += 2;
    } else {
      open.push_back(name);
      ++i;
    }
  }
  if (!open.empty()) return "element <" + open.back() + "> not closed";
  if (roots != 1) return "no root element";
  return {};
}

}  // namespace vcshrink::testing
