#include "report/report_values.h"

#include <algorithm>

#include "bending/parameters.h"

namespace vcshrink {

void derive_parameters_before(RunState& s) {
  // The same derivation as after bending, applied to the unbent full additive
  // genetic and phenotypic matrices. It expects an all-zero table: a reset pair
  // keeps the 0 it finds below the diagonal.
  s.PAR = TraitMatrix{};
  s.nzero = derive_parameters(s.GF, s.P, std::clamp(static_cast<int>(s.nt), 0, MaxTraits), s.PAR);
}

void prepare_report(RunState& s) {
  s.cr_echo = 1.0 / s.cr;  // gives back the coefficient the user typed
  derive_parameters_before(s);
}

}  // namespace vcshrink
