// The three reading forms for console answers and the input file: a text field, an
// integer field and free-form values. Each read starts on a fresh line of its source
// and returns a small result; none of them prints or ends the run (see diagnostics.h).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "input/line_source.h"

namespace vcshrink {

enum class ReadError : unsigned char {
  None,
  EndOfSource,        // the source ended before the read was complete
  LineTooLong,        // a line longer than LineSource::MaxLineLength
  ReadFailed,         // the operating system reported a read error (ReadResult::os_error)
  NotANumber,         // text that is not a number where a number was expected
  NotAnInteger,       // a point, an exponent or other text where an integer was expected
  IntegerOutOfRange,  // an integer outside the 32-bit range
  NumberOutOfRange,   // a number whose nearest double is infinite
  BadRepeatCount,     // a repeat form "0*x"
  BadIntegerField,    // an integer field holding more than blanks, digits and one leading sign
};

struct ReadResult {
  ReadError error = ReadError::None;
  long line = 0;      // number of the line on which the read stopped (0: none was read)
  std::string found;  // the text at fault
  int os_error = 0;   // errno of a failed read
  // After a read that filled its last target: the text of the last value ("" when a
  // comma skipped it) and the rest of its line, which the read ignores. Both are empty
  // after a slash ended the read.
  std::string last;
  std::string rest;

  bool ok() const { return error == ReadError::None; }
};

// One target of a free-form read: exactly one of the two pointers is set.
struct Target {
  double* real = nullptr;
  std::int32_t* integer = nullptr;
};
inline Target real_target(double& x) { return {&x, nullptr}; }
inline Target integer_target(std::int32_t& n) { return {nullptr, &n}; }

// Reads one line: its first w characters, filled with blanks to w, into text.
ReadResult read_text_field(LineSource& source, int w, std::string& text);

// Reads one line as an integer field of width w into value: blanks ignored, an all-blank
// field gives 0, otherwise one optional leading sign and decimal digits.
ReadResult read_integer_field(LineSource& source, int w, std::int32_t& value);

// Reads one whole line without its trailing blanks into text.
ReadResult read_text_line(LineSource& source, std::string& text);

// Fills targets in order by the free-form rules, over as many lines as needed: values
// separated by blanks, tabs, one comma or line ends; r*x repeats, r* and ",," skip, a
// slash ends the read; the rest of the last line is dropped. Skipped and unreached
// targets keep their values; a repeat count beyond the targets left fills the rest.
ReadResult read_values(LineSource& source, std::span<const Target> targets);

// True when text, after blanks and at most one comma, begins with a value that a
// free-form read would take: a number, or a repeat form r*x of one.
bool begins_with_number(std::string_view text);

}  // namespace vcshrink
