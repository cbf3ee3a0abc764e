// Positive definiteness of the residual matrix and of the bent genetic matrix, from
// the eigenvalues of R^-1 G (the roots of det(G - lambda R) = 0); warns where bending
// has not given what users bend a matrix for. Fills the run record's fields below.
#pragma once

#include "run/run_state.h"
#include "run/warnings.h"

namespace vcshrink {

// r_positive_definite := whether R (the leading nt x nt block) is positive definite, by
// its Cholesky factor; warns when it is not. Reads nt and R only, so it can run before
// R is inverted.
void check_residual_definiteness(RunState& s, Warnings& warnings);

// After the bending factor f is known (bf for the fixed procedure, bf_used for the
// optimized one) and only when r_positive_definite: EIG := the eigenvalues of R^-1 G,
// ascending; EIGADJ(i) := (1 - f) EIG(i) + f eigmean, the eigenvalues of R^-1 GADJ;
// gadj_positive_definite := EIGADJ(1) > 0; kpd := the smallest k in 0..1000 with
// (1 - 0.001 k) EIG(1) + 0.001 k eigmean > 0, or -1 when none (eigmean <= 0). Warns
// when the bent matrix is not positive definite. Without a positive definite R (or
// with a G that is not finite) the fields keep their start values and nothing is said.
void check_bent_definiteness(RunState& s, Warnings& warnings);

}  // namespace vcshrink
