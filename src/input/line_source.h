// A source of input lines: the standard input or the input file. Hands out one whole
// line at a time (LF or CR LF ends it; the CR is never part of the line), counts the
// lines, and refuses a line longer than MaxLineLength so that no input exhausts memory.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

namespace vcshrink {

class LineSource {
 public:
  enum class Kind : unsigned char { Console, File };
  enum class Status : unsigned char {
    Line,     // a line was read; line() holds it
    End,      // the source has no further line
    TooLong,  // the line is longer than MaxLineLength; the source is at an end
    Failed,   // the operating system reported a read error (os_error()); the source is at an end
  };

  static constexpr std::size_t MaxLineLength = std::size_t{1} << 20;

  // A source without a stream: it has no lines.
  LineSource() = default;
  // Reads from file, which stays owned by the caller; name is shown in diagnostics.
  LineSource(std::FILE* file, std::string name, Kind kind) : file_(file), name_(std::move(name)), kind_(kind) {}

  // Reads the next line; after End, TooLong or Failed every further call gives End.
  Status next_line();
  // The line last read, without its line end.
  std::string_view line() const { return line_; }
  // The number of the line last read (1 for the first); 0 before any line.
  long line_number() const { return line_number_; }
  const std::string& name() const { return name_; }
  Kind kind() const { return kind_; }
  int os_error() const { return os_error_; }
  std::FILE* file() const { return file_; }
  // Whether a person types the lines at a terminal, who can answer again after a typo;
  // the driver sets it for the standard input.
  bool interactive() const { return interactive_; }
  void set_interactive(bool on) { interactive_ = on; }

 private:
  std::FILE* file_ = nullptr;
  std::string name_;
  Kind kind_ = Kind::File;
  std::string line_;
  long line_number_ = 0;
  int os_error_ = 0;
  bool ended_ = false;
  bool interactive_ = false;
};

}  // namespace vcshrink
