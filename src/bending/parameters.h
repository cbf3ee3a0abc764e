// Genetic parameters of a full additive genetic and a phenotypic matrix: heritabilities,
// genetic and phenotypic correlations in one parameter matrix, with the zero-variance
// rule. Both procedures form the parameters after bending with it, the report those before.
#pragma once

#include "matrix/trait_matrix.h"

namespace vcshrink {

// Parameter matrix of full additive genetic matrix A and phenotypic matrix Q into M
// (all zero on entry): heritabilities on the diagonal, phenotypic correlations above
// it, genetic correlations below; a pair with a variance of A below MinVariance gets
// both correlations 0. Returns the number of such pairs.
int derive_parameters(const TraitMatrix& A, const TraitMatrix& Q, int nt, TraitMatrix& M);

}  // namespace vcshrink
