// Feeds arbitrary bytes to the console dialogue as the standard input, prompts going to
// /dev/null: the file names (and the question for a blank one), the coefficient, the
// procedure with its bending factor, and the weights of 1 + first byte % 30 traits.
// Each run either ends with a diagnostic or leaves answers the later steps can use: a
// coefficient above 0, a procedure of 1 or 2, a fixed factor within 0..1 (a NaN is no
// factor), weights only for the traits there are and none skipped over the first nt.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "dialogue/dialogue.h"
#include "run/end_run.h"
#include "run/run_state.h"
#include "run/warnings.h"
#include "input/files.h"
#include "input/line_source.h"
#include "records/console.h"
#include "records/record_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::FILE* null_out = std::fopen("/dev/null", "w");
  if (size == 0 || null_out == nullptr) return 0;
  std::FILE* in =
      size > 1 ? fmemopen(const_cast<std::uint8_t*>(data + 1), size - 1, "r") : std::fopen("/dev/null", "r");
  if (in == nullptr) return 0;
  vcshrink::Console console(null_out, null_out);
  vcshrink::RecordWriter screen(console);
  vcshrink::LineSource keyboard(in, "standard input", vcshrink::LineSource::Kind::Console);
  auto s = std::make_unique<vcshrink::RunState>();
  s->nt = 1 + data[0] % vcshrink::MaxTraits;
  vcshrink::NoWarnings warnings;
  try {
    vcshrink::ask_file_names(*s, screen, keyboard);
    if (s->infile.empty()) s->infile = vcshrink::ask_missing_name(screen, keyboard, "input");
    if (s->infile.empty() || s->infile.back() == ' ') __builtin_trap();
    vcshrink::ask_relationship(*s, screen, keyboard, warnings);
    if (!(s->coefficient > 0.0) || !std::isfinite(s->cr)) __builtin_trap();
    vcshrink::ask_procedure(*s, screen, keyboard, warnings);
    if (s->proc != 1 && s->proc != 2) __builtin_trap();
    if (s->proc == 2 && !(s->bf >= 0.0 && s->bf <= 1.0)) __builtin_trap();
    if (s->proc == 1 && s->bf != 0.0) __builtin_trap();
    if (s->proc == 1) {
      vcshrink::ask_weights(*s, screen, keyboard, warnings);
      for (int i = s->nt + 1; i <= vcshrink::MaxTraits; ++i) {
        if (s->W(i) != 0.0) __builtin_trap();
      }
      if (s->wchoice != 2) {
        for (int i = 1; i <= s->nt; ++i) {
          if (s->W(i) != 1.0) __builtin_trap();
        }
      }
    }
  } catch (const vcshrink::RunEnd& end) {
    if (end.status != vcshrink::ExitStatus::InputOutput || end.diagnostic.empty()) __builtin_trap();
  }
  console.end_line();
  std::fclose(in);
  return 0;
}
