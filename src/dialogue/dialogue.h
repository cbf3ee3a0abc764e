// The console dialogue: the questions for the file names, the coefficient of
// relationship, the procedure with its bending factor, and the trait weights. Prompts go
// through the console's record writer; answers come from the standard input's lines.
// A number answer whose line holds another number gives a warning; at an interactive
// console an answer that cannot be read is shown what is wrong and asked again.
#pragma once

#include "run/run_state.h"
#include "run/warnings.h"
#include "input/line_source.h"
#include "records/record_writer.h"

namespace vcshrink {

// Asks for the input and the report file's names: each the whole typed line without
// its trailing blanks, into infile and outfile.
void ask_file_names(RunState& s, RecordWriter& screen, LineSource& keyboard);

// Asks for the coefficient of relationship c until c > 0 with a finite 1 / c; sets
// coefficient := c and cr := 1 / c.
void ask_relationship(RunState& s, RecordWriter& screen, LineSource& keyboard, Warnings& warnings);

// Asks for the procedure until the answer is 1 or 2; for 2 asks for the bending
// factor until 0 <= bf <= 1.
void ask_procedure(RunState& s, RecordWriter& screen, LineSource& keyboard, Warnings& warnings);

// For the fixed procedure with positive definite results only (EIG, eigmean and kpd
// formed, kpd >= 0): while bending by bf leaves an eigenvalue of R^-1 G at or below 0,
// names the smallest such grid factor and asks for the bending factor again.
void insist_on_positive_definite_factor(RunState& s, RecordWriter& screen, LineSource& keyboard, Warnings& warnings);

// Asks whether the nt traits have equal weights (all 1.0) or asks each weight W(i).
void ask_weights(RunState& s, RecordWriter& screen, LineSource& keyboard, Warnings& warnings);

}  // namespace vcshrink
