#include "dialogue/dialogue.h"

#include <cmath>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "input/diagnostics.h"
#include "input/reading.h"

namespace vcshrink {
namespace {

constexpr int ChoiceWidth = 2;

// Shows question and reads its answer with read. At an interactive console an answer
// that cannot be read in its form shows what is wrong and the question again in full;
// from a file or a pipe it ends the run (a new question would take the next scripted
// answer for this one), and so does the end of the input everywhere.
template <typename Read>
ReadResult ask(RecordWriter& screen, LineSource& keyboard, const Template& question, std::span<const Value> values,
               Read read, std::string_view unfinished) {
  for (;;) {
    screen.write(question, values);
    ReadResult r = read();
    if (r.ok()) return r;
    if (!keyboard.interactive() || !failed_on_form(r)) end_run_on_read_error(keyboard, r, unfinished);
    screen.write({skip(5), lit(read_problem(r))});
  }
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Warns when the rest of an answer's line holds another number, which the answer
// ignores: "0.3 0.7" for one weight, or "0,3" with a decimal comma, read as 0.
void warn_ignored_number(const LineSource& keyboard, Warnings& warnings, const ReadResult& r, std::string_view what) {
  if (!begins_with_number(r.rest)) return;
  const std::string_view rest = std::string_view(r.rest).substr(r.rest.find_first_not_of(" \t"));
  const std::string ignored = "the rest of the line, " + quote_rest(rest) + ", is ignored";
  std::string text;
  if (r.last.empty()) {
    text = "no number was read for the " + std::string(what) + " (a comma skips it); " + ignored;
  } else {
    text = "the " + std::string(what) + " was read as " + r.last + "; " + ignored;
    // Digits, a comma and digits: a decimal comma.
    const std::string_view digits = std::string_view(r.last).substr(r.last[0] == '+' || r.last[0] == '-' ? 1 : 0);
    bool whole = !digits.empty();
    for (char c : digits) whole = whole && is_digit(c);
    if (whole && rest.size() > 1 && rest[0] == ',' && is_digit(rest[1])) {
      std::size_t end = 1;
      while (end < rest.size() && is_digit(rest[end])) ++end;
      text += " (decimals are written with a point, as in " + r.last + "." + std::string(rest.substr(1, end - 1)) + ")";
    }
  }
  warnings.warn(place(keyboard, r.line), text);
}

// Asks question for one free-form number into x; x keeps its value when the answer skips
// it (a slash or a comma). what names the number in messages.
void ask_number(RecordWriter& screen, LineSource& keyboard, Warnings& warnings, const Template& question,
                std::span<const Value> values, double& x, const std::string& what) {
  const Target t = real_target(x);
  const ReadResult r = ask(
      screen, keyboard, question, values, [&] { return read_values(keyboard, std::span<const Target>(&t, 1)); },
      "the " + what + " was answered");
  warn_ignored_number(keyboard, warnings, r, what);
}

// Asks question for a choice read from the first two characters of the line. Whatever
// follows them is not examined: "1 optimized" is a usual answer.
void ask_choice(RecordWriter& screen, LineSource& keyboard, const Template& question, std::int32_t& choice,
                const char* unfinished) {
  ask(screen, keyboard, question, {}, [&] { return read_integer_field(keyboard, ChoiceWidth, choice); }, unfinished);
}

// The bending-factor question, asked again until 0 <= bf <= 1.
void ask_bending_factor(RunState& s, RecordWriter& screen, LineSource& keyboard, Warnings& warnings) {
  const Template factor{brk(), skip(5), lit("Selected value for bending factor?"),  //
                        brk(), skip(5), lit("(factor must be between 0 and 1)       -->  ")};
  for (;;) {
    ask_number(screen, keyboard, warnings, factor, {}, s.bf, "bending factor");
    // Two ordered comparisons: both bounds are accepted.
    if (!(s.bf > 1.0 || s.bf < 0.0)) return;
    screen.write({skip(5), lit("Bending factor must be between 0 and 1!")});
  }
}

}  // namespace

void ask_file_names(RunState& s, RecordWriter& screen, LineSource& keyboard) {
  screen.write({skip(5), lit("Name of input file?  -->  ")});
  check_read(keyboard, read_text_line(keyboard, s.infile), "the name of the input file was answered");
  screen.write({skip(5), lit("Name of output file? -->  ")});
  check_read(keyboard, read_text_line(keyboard, s.outfile), "the name of the output file was answered");
}

void ask_relationship(RunState& s, RecordWriter& screen, LineSource& keyboard, Warnings& warnings) {
  const Template question{brk(), skip(5), lit("Coefficient of relationship (cr)?"),   //
                          brk(), skip(5), lit("e.g. halfsib analysis:   cr = .25,"),  //
                          brk(), skip(5), lit("e.g. fullsib analysis:   cr = .50,"),  //
                          brk(), skip(5), lit("e.g. any animal model:   cr = 1"),     //
                          brk(), brk(), skip(5), lit("                         cr?           -->  ")};
  for (;;) {
    ask_number(screen, keyboard, warnings, question, {}, s.coefficient, "coefficient of relationship");
    s.cr = 1.0 / s.coefficient;
    // G is divided by the coefficient: 0 or below gives infinite or negative genetic
    // variances, and one so small that its reciprocal overflows, infinite ones. Above 1
    // is accepted (inbred relatives).
    if (s.coefficient > 0.0 && std::isfinite(s.cr)) break;
    screen.write({skip(5), lit("Coefficient of relationship must be greater than 0!")});
  }
}

void ask_procedure(RunState& s, RecordWriter& screen, LineSource& keyboard, Warnings& warnings) {
  const Template procedure{brk(), skip(5), lit("Use of the \"optimized\" procedure? (1)"),  //
                           brk(), skip(5), lit("Use of a \"fixed\" bending factor?  (2)  -->  ")};
  for (;;) {
    ask_choice(screen, keyboard, procedure, s.proc, "the choice of procedure was answered");
    if (s.proc == 1 || s.proc == 2) break;
    screen.write({skip(5), lit("Procedure must be 1 or 2!")});
  }
  if (s.proc == 2) ask_bending_factor(s, screen, keyboard, warnings);
}

void insist_on_positive_definite_factor(RunState& s, RecordWriter& screen, LineSource& keyboard, Warnings& warnings) {
  // A NaN factor compares false and is asked again too.
  while (!bent_positive_definite(s, s.bf)) {
    char from[16];
    std::snprintf(from, sizeof from, "%d.%03d", s.kpd / 1000, s.kpd % 1000);
    screen.write({skip(5), lit(std::string("Bending factor must be at least ") + from +
                               " for a positive definite genetic matrix!")});
    ask_bending_factor(s, screen, keyboard, warnings);
  }
}

void ask_weights(RunState& s, RecordWriter& screen, LineSource& keyboard, Warnings& warnings) {
  const Template choice{brk(), skip(5), lit("Equal (1) "),  //
                        brk(), skip(5), lit("or different (2) trait weights?        -->  ")};
  ask_choice(screen, keyboard, choice, s.wchoice, "the choice of trait weights was answered");
  if (s.wchoice != 2) {
    for (int i = 1; i <= s.nt; ++i) s.W(i) = 1.0;
    return;
  }
  screen.write({skip(5), lit("Individual trait weights (proportions):")});
  const Template prompt{skip(5), lit("Weight for trait "), field(integer(2)), lit("?"), skip(8), lit("      -->  ")};
  for (int i = 1; i <= s.nt; ++i) {
    const Value trait[] = {std::int64_t{i}};
    ask_number(screen, keyboard, warnings, prompt, trait, s.W(i), "weight for trait " + std::to_string(i));
  }
}

}  // namespace vcshrink
