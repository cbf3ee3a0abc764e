// The values the report shows that the procedures do not form: the coefficient of
// relationship as printed and the genetic parameters before bending. They are formed
// after the procedure, before write_report renders the run.
#pragma once

#include "run/run_state.h"

namespace vcshrink {

// PAR and nzero from GF and P, exactly as derive_parameters(GF, P) forms them.
void derive_parameters_before(RunState& s);

// cr_echo := 1 / cr, then derive_parameters_before.
void prepare_report(RunState& s);

}  // namespace vcshrink
