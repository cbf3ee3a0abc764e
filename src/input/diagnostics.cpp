#include "input/diagnostics.h"

#include <cstring>

#include "run/end_run.h"

namespace vcshrink {

namespace {

constexpr char hex[] = "0123456789abcdef";

void put_escaped(std::string& out, unsigned char c) {
  out += "\\x";
  out += hex[c >> 4];
  out += hex[c & 15];
}

}  // namespace

std::string display_name(std::string_view name) {
  std::string d;
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7f) {
      put_escaped(d, c);
    } else {
      d += ch;
    }
  }
  return d;
}

std::string quote_found(std::string_view text) {
  constexpr std::size_t shown = 40;
  std::string q = "\"";
  for (std::size_t i = 0; i < text.size() && i < shown; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
      put_escaped(q, c);
    } else {
      q += static_cast<char>(c);
    }
  }
  if (text.size() > shown) q += "...";
  q += '"';
  return q;
}

std::string place(const LineSource& source, long line) {
  if (line <= 0) return source.name();
  return source.name() + ", line " + std::to_string(line);
}

bool failed_on_form(const ReadResult& r) {
  switch (r.error) {
    case ReadError::None:
    case ReadError::EndOfSource:
    case ReadError::LineTooLong:
    case ReadError::ReadFailed:
      return false;
    default:
      return true;
  }
}

std::string quote_rest(std::string_view rest) {
  while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
  while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.remove_suffix(1);
  return quote_found(rest);
}

std::string read_problem(const ReadResult& r) {
  switch (r.error) {
    case ReadError::NotANumber:
      return "expected a number, found " + quote_found(r.found);
    case ReadError::NotAnInteger:
      return "expected an integer (digits without a decimal point or exponent), found " + quote_found(r.found);
    case ReadError::IntegerOutOfRange:
      return "expected an integer from -2147483648 to 2147483647, found " + quote_found(r.found);
    case ReadError::NumberOutOfRange:
      return "expected a number of magnitude at most 1.7976931348623157e308, found " + quote_found(r.found);
    case ReadError::BadRepeatCount:
      return "expected a repeat count of at least 1, found " + quote_found(r.found);
    case ReadError::BadIntegerField:
      return "expected an integer (blanks, digits and one leading sign), found " + quote_found(r.found);
    default:
      return "unreadable input";
  }
}

std::string read_diagnostic(const LineSource& source, const ReadResult& r, std::string_view unfinished) {
  const bool console = source.kind() == LineSource::Kind::Console;
  const std::string where = place(source, r.line);
  switch (r.error) {
    case ReadError::None:
      return {};
    case ReadError::EndOfSource:
      if (console) return source.name() + " ends before " + std::string(unfinished);
      if (r.line == 0) return source.name() + ": the input file is empty";
      return where + ": the input file ends before " + std::string(unfinished);
    case ReadError::LineTooLong:
      return where + ": expected a line of at most " + std::to_string(LineSource::MaxLineLength) +
             " characters, found a longer line";
    case ReadError::ReadFailed:
      return where + ": cannot read: " + std::strerror(r.os_error);
    default:
      return where + ": " + read_problem(r);
  }
}

void end_run_on_read_error(const LineSource& source, const ReadResult& r, std::string_view unfinished) {
  end_run(ExitStatus::InputOutput, read_diagnostic(source, r, unfinished));
}

}  // namespace vcshrink
