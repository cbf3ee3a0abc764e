#include "bending/plausibility.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace vcshrink {
namespace {

std::string number(double x) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", x);
  return buf;
}

// Written so that a NaN is out of range too.
bool heritability_in_range(double h) { return h >= 0.0 && h <= 1.0; }
bool correlation_in_range(double r) { return r >= -1.0 && r <= 1.0; }

// Adds item to a list separated by commas and counts it.
void append_item(std::string& list, int& count, const std::string& item) {
  if (count > 0) list += ", ";
  list += item;
  ++count;
}

}  // namespace

void warn_prior_ranges(const RunState& s, Warnings& warnings) {
  const int nt = s.nt;
  for (int i = 1; i <= nt; ++i) {
    const double h = s.PRIOR(i, i);
    if (!heritability_in_range(h)) {
      warnings.warn({}, "the prior heritability of trait " + std::to_string(i) + " is " + number(h) +
                            ", outside 0..1");
    }
  }
  for (int i = 1; i <= nt - 1; ++i) {
    for (int j = i + 1; j <= nt; ++j) {
      const double r = s.PRIOR(j, i);
      if (!correlation_in_range(r)) {
        warnings.warn({}, "the prior genetic correlation of traits " + std::to_string(i) + " and " +
                              std::to_string(j) + " is " + number(r) + ", outside -1..1");
      }
    }
  }
}

void warn_units(const RunState& s, Warnings& warnings) {
  for (int i = 1; i <= s.nt; ++i) {
    const double v = s.G(i, i) + s.R(i, i);
    if (!(v > 0.0) || !std::isfinite(v) || (v >= MinStableVariance && v <= MaxStableVariance)) continue;
    // Units 10^u times larger divide the variance by 10^(2u): u brings it nearest to 1.
    const int u = static_cast<int>(std::lround(std::log10(v) / 2.0));
    const double rescaled = v / std::pow(10.0, 2.0 * u);
    char range[64];
    std::snprintf(range, sizeof range, "outside %.0e..%.0e", MinStableVariance, MaxStableVariance);
    warnings.warn({}, "the phenotypic variance of trait " + std::to_string(i) + " is " + number(v) + ", " + range +
                          ", where results do not depend on the units; express trait " + std::to_string(i) +
                          " in units 10^" + std::to_string(u < 0 ? -u : u) + " times " +
                          (u > 0 ? "larger" : "smaller") + " (variance " + number(rescaled) + ")");
  }
}

std::string no_factor_reason(const RunState& s) {
  const int nt = s.nt;
  std::string causes;
  auto add_cause = [&causes](const std::string& c) {
    if (!causes.empty()) causes += "; ";
    causes += c;
  };

  bool all_zero = nt >= 1;
  for (int i = 1; i <= nt; ++i) all_zero = all_zero && s.W(i) == 0.0;
  if (all_zero) add_cause("every trait weight is zero");

  std::string low;
  int nlow = 0;
  for (int i = 1; i <= nt; ++i) {
    if (s.PRIOR(i, i) <= 0.0) append_item(low, nlow, std::to_string(i));
  }
  if (nlow > 0) {
    add_cause(nlow == 1 ? "the prior heritability of trait " + low + " is zero or below"
                        : "the prior heritabilities of traits " + low + " are zero or below");
  }

  // Out of range apart from those just named: heritabilities above 1 (or undefined)
  // and genetic correlations outside -1..1.
  std::string out;
  int nout = 0;
  for (int i = 1; i <= nt; ++i) {
    const double h = s.PRIOR(i, i);
    if (!(h <= 0.0) && !heritability_in_range(h)) append_item(out, nout, "heritability of trait " + std::to_string(i));
  }
  for (int i = 1; i <= nt - 1; ++i)
    for (int j = i + 1; j <= nt; ++j)
      if (!correlation_in_range(s.PRIOR(j, i))) {
        append_item(out, nout, "genetic correlation of traits " + std::to_string(i) + " and " + std::to_string(j));
      }
  if (nout > 0) add_cause("prior values out of range (" + out + ")");

  if (!causes.empty()) return "no bending factor could be chosen: " + causes;

  bool any_number = false;
  for (const double rho : s.RHO) any_number = any_number || !std::isnan(rho);
  return any_number ? "no bending factor could be chosen: no grid score exceeds -999 (check the prior matrix)"
                    : "no bending factor could be chosen: every grid score is undefined";
}

}  // namespace vcshrink
