// Warnings: where input is probably a mistake, or a result is not what the user bent
// the matrix for. Each is one line on the standard error stream, "PLACE: warning: TEXT"
// or "warning: TEXT"; a warning never changes the status, the standard output or the report.
#pragma once

#include <string>
#include <string_view>

namespace vcshrink {

// Where the steps that find a warning send its line; the driver writes it to the
// standard error stream, tests collect it.
class Warnings {
 public:
  virtual ~Warnings() = default;
  // Takes one complete warning line, without its line end.
  virtual void line(const std::string& text) = 0;

  // Sends "PLACE: warning: TEXT", or "warning: TEXT" when place is empty.
  void warn(std::string_view place, std::string_view text) {
    std::string l;
    if (!place.empty()) {
      l.append(place);
      l.append(": ");
    }
    l.append("warning: ");
    l.append(text);
    line(l);
  }
};

// Drops every warning (for callers that do not report them).
class NoWarnings final : public Warnings {
 public:
  void line(const std::string&) override {}
};

}  // namespace vcshrink
