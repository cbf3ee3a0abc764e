#include "input/input_file.h"

#include <array>
#include <string>

#include "run/end_run.h"
#include "input/diagnostics.h"
#include "input/reading.h"

namespace vcshrink {
namespace {

constexpr int TitleWidth = 79;

// One free-form read of the lower triangle of m, row by row: m(1,1); m(2,1), m(2,2); ...
void read_triangle(LineSource& file, int nt, TraitMatrix& m, const char* unfinished) {
  std::array<Target, MaxTraits*(MaxTraits + 1) / 2> targets{};
  std::size_t k = 0;
  for (int i = 1; i <= nt; ++i) {
    for (int j = 1; j <= i; ++j) targets[k++] = real_target(m(i, j));
  }
  check_read(file, read_values(file, std::span<const Target>(targets.data(), k)), unfinished);
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

void read_input_file(RunState& s, LineSource& file) {
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

  read_triangle(file, s.nt, s.G, "the genetic matrix is complete");
  read_triangle(file, s.nt, s.R, "the residual matrix is complete");
  if (s.proc == 1) read_triangle(file, s.nt, s.PRIOR, "the prior matrix is complete");

  mirror(s.nt, s.G);
  mirror(s.nt, s.R);
  mirror(s.nt, s.PRIOR);
}

}  // namespace vcshrink
