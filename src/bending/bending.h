// The bending core on the run state: the covariance quantities both procedures share,
// bending the genetic matrix toward eigmean R by a factor, the fixed procedure, and the
// grid search of the optimized procedure.
#pragma once

#include <string>
#include <string_view>

#include "run/run_state.h"
#include "matrix/trait_matrix.h"

namespace vcshrink {

// SCALE, RINV (minv of R; may end the run), RINVG = RINV G, eigmean, then P = G + R
// and GF = cr G, in that order. Reads nt, G, R, cr, W.
void prepare_covariances(RunState& s);

// The diagnostic for a matrix that minv could not invert: the matrix, as the user knows
// it, and the trait whose elimination step met a pivot below PivotLimit.
std::string singular_diagnostic(std::string_view matrix, int failed_pivot);

// GADJ := (f eigmean) R + (1 - f) G, then PADJ := GADJ + R and GFADJ := cr GADJ.
void bend_matrices(RunState& s, double f);

// The fixed procedure: bf_used := bf, bend_matrices(bf), then PARADJ and nzero_adj
// from GFADJ and PADJ (derive_parameters).
void run_fixed_procedure(RunState& s);

// GFPRIOR: prior heritabilities times the phenotypic variances on the diagonal, prior
// genetic correlations times the prior genetic standard deviations off it.
void build_prior_covariance(RunState& s);

// Score of factor f: the correlation, under GFPRIOR and P, between the selection index
// of the matrices bent by f and the aggregate genotype weighted by SCALE (may be NaN).
// Overwrites GFADJ, PADJINV, WK, BIDX, cov_ih, var_h, var_i (GADJ and PADJ are left to
// bend_matrices, for the chosen factor); may end the run when PADJ cannot be inverted.
double evaluate_factor(RunState& s, double f);

// The optimized procedure: scores every grid factor 0.001 k into RHO, keeps the first
// best (kbest, rho_best, bf_used), then bends by bf_used and derives PARADJ, nzero_adj.
// With pd_only (EIG, kpd formed) the best among the factors that leave G positive
// definite; kbest_unrestricted, rho_best_unrestricted keep the best over the whole grid.
// Ends the run when no score can be chosen (every score NaN).
void optimize_bending(RunState& s);

}  // namespace vcshrink
