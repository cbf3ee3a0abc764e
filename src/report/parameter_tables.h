// The genetic parameters before bending: heritabilities, genetic and phenotypic
// correlations of the unbent matrices, with the count of trait pairs whose
// correlations were set to zero for a vanishing genetic variance.
#pragma once

#include "run/run_state.h"

namespace vcshrink {

// PAR and nzero from GF and P, exactly as derive_parameters(GF, P) forms them.
void derive_parameters_before(RunState& s);

}  // namespace vcshrink
