// The one record of run-wide state: the dialogue's answers, the matrices as read,
// and every matrix, vector and scalar of the bending and the report. Everything
// starts at zero (several steps rely on an element that nothing writes reading 0),
// and all numerical storage is fixed-capacity, allocated once with the record.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "matrix/trait_matrix.h"

namespace vcshrink {

inline constexpr int GridSize = 1001;  // bending factors 0.001 k for k = 0..1000

struct RunState {
  // Dialogue and input file.
  std::string infile;   // name of the input file as typed, without trailing blanks
  std::string outfile;  // name of the report file as typed, without trailing blanks
  double coefficient = 0.0;  // the coefficient of relationship as typed
  double cr = 0.0;           // 1 / the typed coefficient of relationship
  std::int32_t proc = 0;     // 1 optimized, 2 fixed
  double bf = 0.0;           // bending factor typed for the fixed procedure
  std::string title;         // first 79 characters of the input file's first line, then one blank
  std::int32_t nt = 0;       // number of traits, 1..MaxTraits
  TraitMatrix G;             // additive genetic (co)variance component as read, mirrored
  TraitMatrix R;             // residual (co)variance component as read, mirrored
  TraitMatrix PRIOR;         // prior heritabilities and genetic correlations (optimized procedure)
  std::int32_t wchoice = 0;  // 1 equal, 2 different trait weights
  TraitVector W;             // trait weights

  // Covariance preparation.
  TraitMatrix P;       // phenotypic matrix G + R
  TraitMatrix GF;      // full additive genetic matrix cr G
  TraitMatrix RINV;    // inverse of R
  TraitMatrix RINVG;   // RINV G
  TraitVector SCALE;   // aggregate-genotype weights W(i) / sqrt(max(G(i,i), MinVariance) cr)
  double eigmean = 0.0;  // mean eigenvalue of R^-1 G

  // Bending (fixed factor, and the final stage of the optimized procedure).
  TraitMatrix GADJ;    // bent genetic matrix on the input scale
  TraitMatrix PADJ;    // adjusted phenotypic matrix GADJ + R
  TraitMatrix GFADJ;   // adjusted full additive genetic matrix cr GADJ
  TraitMatrix PARADJ;  // genetic parameters after bending
  std::int32_t nzero_adj = 0;  // pairs whose correlations were set to zero after bending

  // Optimized search.
  TraitMatrix GFPRIOR;  // prior full additive genetic matrix
  TraitMatrix PADJINV;  // inverse of PADJ for the factor being scored
  TraitMatrix WK;       // work matrix of the index products
  TraitVector BIDX;     // selection index weights for the factor being scored
  double cov_ih = 0.0;
  double var_h = 0.0;
  double var_i = 0.0;
  std::array<double, GridSize> RHO{};  // score of every grid factor, index k = 0..1000
  double rho_best = 0.0;
  std::int32_t kbest = 0;
  double bf_used = 0.0;  // the bending factor the report shows as used

  // Positive definiteness: the eigenvalues of R^-1 G (the generalized problem
  // G x = lambda R x), ascending; they are formed only when R is positive definite.
  bool r_positive_definite = false;
  TraitVector EIG;     // before bending
  TraitVector EIGADJ;  // after bending by bf_used: (1 - bf_used) EIG + bf_used eigmean
  bool gadj_positive_definite = false;
  std::int32_t kpd = -1;  // smallest k whose factor 0.001 k makes every bent eigenvalue positive; -1 none

  // Only positive definite results (asked for on the command line): the fixed factor
  // must leave G positive definite, and the optimized search chooses among the factors
  // that do. The search's choice over the whole grid is kept beside its own.
  bool pd_only = false;
  std::int32_t kbest_unrestricted = 0;
  double rho_best_unrestricted = 0.0;

  // Report.
  TraitMatrix PAR;           // genetic parameters before bending
  std::int32_t nzero = 0;    // pairs whose correlations were set to zero before bending
  double cr_echo = 0.0;      // the coefficient of relationship as printed, 1 / cr
};

// An eigenvalue lambda of R^-1 G after bending by f: the eigenvector stays, the value
// moves toward the mean. For f <= 1 the order is kept, so the smallest decides
// whether the bent matrix is positive definite.
inline double bent_eigenvalue(double lambda, double f, double eigmean) { return (1.0 - f) * lambda + f * eigmean; }

// Whether bending by f leaves every eigenvalue of R^-1 G positive (EIG formed).
inline bool bent_positive_definite(const RunState& s, double f) {
  return bent_eigenvalue(s.EIG(1), f, s.eigmean) > 0.0;
}

}  // namespace vcshrink
