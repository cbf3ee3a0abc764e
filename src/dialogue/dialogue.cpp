#include "dialogue/dialogue.h"

#include <string>

#include "input/diagnostics.h"
#include "input/reading.h"

namespace vcshrink {
namespace {

constexpr int ChoiceWidth = 2;

// One free-form number answered at the console into x; the number keeps its value when
// the answer skips it (a slash or a comma).
void read_number(LineSource& keyboard, double& x, const std::string& unfinished) {
  const Target t = real_target(x);
  check_read(keyboard, read_values(keyboard, std::span<const Target>(&t, 1)), unfinished);
}

void read_choice(LineSource& keyboard, std::int32_t& choice, const char* unfinished) {
  check_read(keyboard, read_integer_field(keyboard, ChoiceWidth, choice), unfinished);
}

}  // namespace

void ask_file_names(RunState& s, RecordWriter& screen, LineSource& keyboard) {
  screen.write({skip(5), lit("Name of input file?  -->  ")});
  check_read(keyboard, read_text_line(keyboard, s.infile), "the name of the input file was answered");
  screen.write({skip(5), lit("Name of output file? -->  ")});
  check_read(keyboard, read_text_line(keyboard, s.outfile), "the name of the output file was answered");
}

void ask_relationship(RunState& s, RecordWriter& screen, LineSource& keyboard) {
  screen.write({brk(), skip(5), lit("Coefficient of relationship (cr)?"),   //
                brk(), skip(5), lit("e.g. halfsib analysis:   cr = .25,"),  //
                brk(), skip(5), lit("e.g. fullsib analysis:   cr = .50,"),  //
                brk(), skip(5), lit("e.g. any animal model:   cr = 1"),     //
                brk(), brk(), skip(5), lit("                         cr?           -->  ")});
  double c = 0.0;
  read_number(keyboard, c, "the coefficient of relationship was answered");
  s.coefficient = c;
  s.cr = 1.0 / c;
}

void ask_procedure(RunState& s, RecordWriter& screen, LineSource& keyboard) {
  for (;;) {
    screen.write({brk(), skip(5), lit("Use of the \"optimized\" procedure? (1)"),  //
                  brk(), skip(5), lit("Use of a \"fixed\" bending factor?  (2)  -->  ")});
    read_choice(keyboard, s.proc, "the choice of procedure was answered");
    if (s.proc == 1 || s.proc == 2) break;
    screen.write({skip(5), lit("Procedure must be 1 or 2!")});
  }
  for (;;) {
    if (s.proc == 2) {
      screen.write({brk(), skip(5), lit("Selected value for bending factor?"),  //
                    brk(), skip(5), lit("(factor must be between 0 and 1)       -->  ")});
      read_number(keyboard, s.bf, "the bending factor was answered");
    }
    // Two ordered comparisons: both bounds are accepted.
    if (!(s.bf > 1.0 || s.bf < 0.0)) break;
    screen.write({skip(5), lit("Bending factor must be between 0 and 1!")});
  }
}

void ask_weights(RunState& s, RecordWriter& screen, LineSource& keyboard) {
  screen.write({brk(), skip(5), lit("Equal (1) "),  //
                brk(), skip(5), lit("or different (2) trait weights?        -->  ")});
  read_choice(keyboard, s.wchoice, "the choice of trait weights was answered");
  if (s.wchoice != 2) {
    for (int i = 1; i <= s.nt; ++i) s.W(i) = 1.0;
    return;
  }
  screen.write({skip(5), lit("Individual trait weights (proportions):")});
  const Template prompt{skip(5), lit("Weight for trait "), field(integer(2)), lit("?"), skip(8), lit("      -->  ")};
  for (int i = 1; i <= s.nt; ++i) {
    const Value trait[] = {std::int64_t{i}};
    screen.write(prompt, trait);
    read_number(keyboard, s.W(i), "the weight for trait " + std::to_string(i) + " was answered");
  }
}

}  // namespace vcshrink
