#include "report/parameter_tables.h"

#include <algorithm>

#include "bending/bending.h"

namespace vcshrink {

void derive_parameters_before(RunState& s) {
  // The same derivation as after bending, applied to the unbent full additive
  // genetic and phenotypic matrices. It expects an all-zero table: a reset pair
  // keeps the 0 it finds below the diagonal.
  s.PAR = TraitMatrix{};
  s.nzero = derive_parameters(s.GF, s.P, std::clamp(static_cast<int>(s.nt), 0, MaxTraits), s.PAR);
}

}  // namespace vcshrink
