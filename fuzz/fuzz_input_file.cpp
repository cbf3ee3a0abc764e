// Feeds arbitrary bytes to the input-file reader: the first byte chooses the procedure
// (and so whether a prior block is read), the rest is the file. A read either ends the
// run with a diagnostic or leaves a number of traits in range, symmetric matrices, and
// nothing written outside their leading nt x nt blocks (no prior for the fixed procedure).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "run/end_run.h"
#include "run/run_state.h"
#include "input/input_file.h"
#include "input/line_source.h"

namespace {

bool mirrored(const vcshrink::TraitMatrix& m, int nt) {
  for (int i = 1; i <= nt; ++i) {
    for (int j = 1; j <= nt; ++j) {
      const double a = m(i, j), b = m(j, i);
      if (std::memcmp(&a, &b, sizeof a) != 0) return false;
    }
  }
  return true;
}

// Every element outside the leading nt x nt block is still +0.
bool zero_outside(const vcshrink::TraitMatrix& m, int nt) {
  for (int j = 1; j <= vcshrink::MaxTraits; ++j) {
    for (int i = 1; i <= vcshrink::MaxTraits; ++i) {
      const double x = m(i, j);
      if ((i > nt || j > nt) && (x != 0.0 || std::signbit(x))) return false;
    }
  }
  return true;
}

bool all_zero(const vcshrink::TraitMatrix& m) { return zero_outside(m, 0); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int proc = data[0] % 2 == 0 ? 1 : 2;
  std::FILE* file =
      size > 1 ? fmemopen(const_cast<std::uint8_t*>(data + 1), size - 1, "r") : std::fopen("/dev/null", "r");
  if (file == nullptr) return 0;
  auto s = std::make_unique<vcshrink::RunState>();
  s->proc = proc;
  vcshrink::LineSource lines(file, "input.dat", vcshrink::LineSource::Kind::File);
  vcshrink::NoWarnings warnings;
  try {
    vcshrink::read_input_file(*s, lines, warnings);
    if (s->nt < 1 || s->nt > vcshrink::MaxTraits) __builtin_trap();
    if (!mirrored(s->G, s->nt) || !mirrored(s->R, s->nt) || !mirrored(s->PRIOR, s->nt)) __builtin_trap();
    if (!zero_outside(s->G, s->nt) || !zero_outside(s->R, s->nt) || !zero_outside(s->PRIOR, s->nt)) __builtin_trap();
    if (proc == 2 && !all_zero(s->PRIOR)) __builtin_trap();
    if (s->title.size() != 80) __builtin_trap();
  } catch (const vcshrink::RunEnd& end) {
    if (end.status != vcshrink::ExitStatus::InputOutput || end.diagnostic.empty()) __builtin_trap();
  }
  std::fclose(file);
  return 0;
}
