#include "input/input_file.h"

#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "run/end_run.h"
#include "input/diagnostics.h"
#include "input/reading.h"

namespace vcshrink {
namespace {

constexpr int TitleWidth = 79;

// What the warnings about ignored numbers tell the user of the layout.
std::string triangle_layout(int nt) {
  return "each matrix is a lower triangle, row i holding i numbers: " + std::to_string(nt * (nt + 1) / 2) +
         (nt == 1 ? " number for 1 trait" : " numbers for " + std::to_string(nt) + " traits");
}

// A block's last line goes on with numbers, which the next block does not get: most
// often a full square matrix where its lower triangle belongs.
// what is worded to follow "the numbers after".
void warn_numbers_after(const LineSource& file, Warnings& warnings, const ReadResult& r, const std::string& what,
                        const std::string& layout) {
  if (!begins_with_number(r.rest)) return;
  warnings.warn(place(file, r.line), "the numbers after " + what + " on this line are ignored: " +
                                         quote_rest(r.rest) + " (" + layout + ")");
}

// One free-form read of the lower triangle of m, row by row: m(1,1); m(2,1), m(2,2); ...
ReadResult read_triangle(LineSource& file, Warnings& warnings, int nt, TraitMatrix& m, const char* block) {
  std::array<Target, MaxTraits*(MaxTraits + 1) / 2> targets{};
  std::size_t k = 0;
  for (int i = 1; i <= nt; ++i) {
    for (int j = 1; j <= i; ++j) targets[k++] = real_target(m(i, j));
  }
  const ReadResult r = read_values(file, std::span<const Target>(targets.data(), k));
  check_read(file, r, std::string("the ") + block + " is complete");
  warn_numbers_after(file, warnings, r, std::string("the end of the ") + block, triangle_layout(nt));
  return r;
}

// Whether the file can be read to its end: a regular file does end, a pipe or a
// device need not. A stream without a descriptor is held in memory.
bool has_an_end(const LineSource& file) {
  if (file.file() == nullptr) return false;
  const int fd = ::fileno(file.file());
  if (fd < 0) return true;
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// The first later line that begins with a number: the file holds more than the blocks
// that were read.
void warn_numbers_after_prior(LineSource& file, Warnings& warnings, long prior_end, int nt) {
  if (!has_an_end(file)) return;
  while (file.next_line() == LineSource::Status::Line) {
    if (begins_with_number(file.line())) {
      warnings.warn(place(file, file.line_number()), "numbers after the prior matrix, which ends on line " +
                                                         std::to_string(prior_end) + ", are ignored (" +
                                                         triangle_layout(nt) + ")");
      return;
    }
  }
}

void mirror(int nt, TraitMatrix& m) {
  for (int i = 1; i <= nt - 1; ++i) {
    for (int j = i + 1; j <= nt; ++j) m(i, j) = m(j, i);
  }
}

[[noreturn]] void bad_trait_count(const LineSource& file, long line, const std::string& found) {
  end_run(ExitStatus::InputOutput, file.name() + ", line " + std::to_string(line) +
                                       ": the number of traits must be from 1 to " + std::to_string(MaxTraits) +
                                       ", found " + found);
}

}  // namespace

void read_input_file(RunState& s, LineSource& file, Warnings& warnings) {
  std::string title;
  check_read(file, read_text_field(file, TitleWidth, title), "the title was read");
  s.title = title + ' ';

  const Target nt_target = integer_target(s.nt);
  const ReadResult r = read_values(file, std::span<const Target>(&nt_target, 1));
  // A count too large for 32 bits is as wrong a count as 31.
  if (r.error == ReadError::IntegerOutOfRange) bad_trait_count(file, r.line, r.found);
  check_read(file, r, "the number of traits was read");
  // Checked before any matrix is read: the matrices hold MaxTraits traits.
  if (s.nt < 1 || s.nt > MaxTraits) bad_trait_count(file, r.line, std::to_string(s.nt));
  warn_numbers_after(file, warnings, r, "the number of traits", "each block starts on a new line");

  read_triangle(file, warnings, s.nt, s.G, "genetic matrix");
  read_triangle(file, warnings, s.nt, s.R, "residual matrix");
  // The fixed procedure ignores whatever follows R, a prior block included.
  if (s.proc == 1) {
    const ReadResult prior = read_triangle(file, warnings, s.nt, s.PRIOR, "prior matrix");
    warn_numbers_after_prior(file, warnings, prior.line, s.nt);
  }

  mirror(s.nt, s.G);
  mirror(s.nt, s.R);
  mirror(s.nt, s.PRIOR);
}

}  // namespace vcshrink
