// Compiled with Eigen's own vectorization switched off (see CMakeLists.txt): the
// eigenvalues are then formed by the same scalar operations in every build, and the
// figures the warning prints are the same bytes from every compiler and flag set.
#include "bending/definiteness.h"

#include <Eigen/Cholesky>
#include <Eigen/Core>
#include <Eigen/Eigenvalues>
#include <cmath>
#include <cstdio>
#include <string>

namespace vcshrink {
namespace {

// At most 30 x 30, held inside the object: nothing is allocated.
using Block = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::ColMajor, MaxTraits, MaxTraits>;

Block leading_block(const TraitMatrix& m, int nt) {
  Block b(nt, nt);
  for (int j = 1; j <= nt; ++j)
    for (int i = 1; i <= nt; ++i) b(i - 1, j - 1) = m(i, j);
  return b;
}

bool finite_block(const TraitMatrix& m, int nt) {
  for (int j = 1; j <= nt; ++j)
    for (int i = 1; i <= nt; ++i)
      if (!std::isfinite(m(i, j))) return false;
  return true;
}

// An eigenvalue after bending by f: the eigenvector stays, the value moves toward the mean.
double bent(double lambda, double f, double eigmean) { return (1.0 - f) * lambda + f * eigmean; }

// Three significant digits, as every figure of a warning is printed.
std::string figure(double x) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3g", x);
  return buf;
}

}  // namespace

void check_residual_definiteness(RunState& s, Warnings& warnings) {
  const int nt = s.nt;
  s.r_positive_definite = false;
  if (nt >= 1 && finite_block(s.R, nt)) {
    // The factor exists only for a positive definite matrix (every pivot above zero).
    const Eigen::LLT<Block> cholesky(leading_block(s.R, nt));
    s.r_positive_definite = cholesky.info() == Eigen::Success;
  }
  if (!s.r_positive_definite) {
    warnings.warn({}, "the residual matrix R is not positive definite; whether the bent genetic matrix is "
                      "positive definite is not checked");
  }
}

void check_bent_definiteness(RunState& s, Warnings& warnings) {
  const int nt = s.nt;
  if (!s.r_positive_definite || !finite_block(s.G, nt)) return;

  Eigen::GeneralizedSelfAdjointEigenSolver<Block> solver(nt);
  solver.compute(leading_block(s.G, nt), leading_block(s.R, nt), Eigen::EigenvaluesOnly | Eigen::Ax_lBx);
  if (solver.info() != Eigen::Success) return;
  for (int i = 1; i <= nt; ++i) s.EIG(i) = solver.eigenvalues()(i - 1);

  const double f = s.proc == 2 ? s.bf : s.bf_used;
  for (int i = 1; i <= nt; ++i) s.EIGADJ(i) = bent(s.EIG(i), f, s.eigmean);
  // For f < 1 bending keeps the order of the eigenvalues, so the smallest decides.
  s.gadj_positive_definite = s.EIGADJ(1) > 0.0;
  s.kpd = -1;
  for (int k = 0; k < GridSize; ++k) {
    if (bent(s.EIG(1), 0.001 * k, s.eigmean) > 0.0) {
      s.kpd = k;
      break;
    }
  }
  if (s.gadj_positive_definite) return;

  std::string text = "the bent genetic matrix is not positive definite: the smallest eigenvalue of R^-1 G is " +
                     figure(s.EIG(1)) + " before bending and " + figure(s.EIGADJ(1)) + " after; ";
  if (s.kpd >= 0) {
    char factor[16];
    std::snprintf(factor, sizeof factor, "%d.%03d", s.kpd / 1000, s.kpd % 1000);
    text += std::string("every eigenvalue is positive from bending factor ") + factor;
  } else {
    text += "no bending factor can make it positive definite, as the mean eigenvalue " + figure(s.eigmean) +
            " is not positive";
  }
  warnings.warn({}, text);
}

}  // namespace vcshrink
