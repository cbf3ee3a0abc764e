#include "summary/summary.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

namespace vcshrink {
namespace {

using Json = nlohmann::ordered_json;  // keys in the order written, for a reader's eye

// A double, or null when it is not a finite number.
Json number(double x) { return std::isfinite(x) ? Json(x) : Json(nullptr); }

// The leading nt x nt block as nt rows of nt values.
Json square(const TraitMatrix& m, int nt) {
  Json rows = Json::array();
  for (int i = 1; i <= nt; ++i) {
    Json row = Json::array();
    for (int j = 1; j <= nt; ++j) row.push_back(number(m(i, j)));
    rows.push_back(std::move(row));
  }
  return rows;
}

Json vector(const TraitVector& v, int nt) {
  Json out = Json::array();
  for (int i = 1; i <= nt; ++i) out.push_back(number(v(i)));
  return out;
}

// A parameter matrix (heritabilities on the diagonal, genetic correlations below it,
// phenotypic correlations above it) as its named parts; each correlation matrix is
// full and symmetric with 1 on its diagonal. zeroed_traits lists the traits whose full
// additive genetic variance in A was below MinVariance, so that their correlations were
// set to 0.
Json parameters(const TraitMatrix& M, const TraitMatrix& A, int nt, int zeroed_pairs) {
  Json h2 = Json::array(), rg = Json::array(), rp = Json::array(), zeroed = Json::array();
  for (int i = 1; i <= nt; ++i) {
    h2.push_back(number(M(i, i)));
    Json grow = Json::array(), prow = Json::array();
    for (int j = 1; j <= nt; ++j) {
      if (i == j) {
        grow.push_back(1.0);
        prow.push_back(1.0);
      } else {
        const int lo = i < j ? i : j, hi = i < j ? j : i;
        grow.push_back(number(M(hi, lo)));
        prow.push_back(number(M(lo, hi)));
      }
    }
    rg.push_back(std::move(grow));
    rp.push_back(std::move(prow));
    if (nt > 1 && A(i, i) < MinVariance) zeroed.push_back(i);
  }
  Json out;
  out["heritabilities"] = std::move(h2);
  out["genetic_correlations"] = std::move(rg);
  out["phenotypic_correlations"] = std::move(rp);
  out["zeroed_traits"] = std::move(zeroed);
  out["zeroed_pairs"] = zeroed_pairs;
  return out;
}

// Objects one member per line; an array of plain values (a vector, a matrix row) on one
// line, so that each row of a matrix reads as a row. Values as nlohmann writes them.
void print(const Json& j, int depth, std::string& out) {
  const auto plain = [](const Json& e) { return !e.is_object() && !e.is_array(); };
  const auto indent = [&](int d) { out.append(static_cast<std::size_t>(d), ' '); };
  if (j.is_object() && !j.empty()) {
    out += "{\n";
    bool first = true;
    for (const auto& [key, value] : j.items()) {
      if (!first) out += ",\n";
      first = false;
      indent(depth + 1);
      out += Json(key).dump(-1, ' ', false, Json::error_handler_t::replace);
      out += ": ";
      print(value, depth + 1, out);
    }
    out += "\n";
    indent(depth);
    out += "}";
  } else if (j.is_array() && !j.empty() && !std::all_of(j.begin(), j.end(), plain)) {
    out += "[\n";
    for (std::size_t i = 0; i < j.size(); ++i) {
      if (i > 0) out += ",\n";
      indent(depth + 1);
      print(j[i], depth + 1, out);
    }
    out += "\n";
    indent(depth);
    out += "]";
  } else if (j.is_array()) {
    out += "[";
    for (std::size_t i = 0; i < j.size(); ++i) {
      if (i > 0) out += ", ";
      out += j[i].dump(-1, ' ', false, Json::error_handler_t::replace);
    }
    out += "]";
  } else {
    out += j.dump(-1, ' ', false, Json::error_handler_t::replace);
  }
}

std::string trimmed_title(const std::string& title) {
  std::size_t end = title.size();
  while (end > 0 && (title[end - 1] == ' ' || title[end - 1] == '\r')) --end;
  return title.substr(0, end);
}

}  // namespace

std::string summary_json(const RunState& s, std::string_view version) {
  const int nt = s.nt;
  const bool optimized = s.proc != 2;
  Json j;
  j["program"] = "vcshrink";
  j["version"] = std::string(version);
  j["title"] = trimmed_title(s.title);
  j["traits"] = nt;
  j["coefficient"] = number(s.coefficient);
  j["procedure"] = optimized ? "optimized" : "fixed";
  j["bending_factor"] = number(s.bf_used);
  j["weights"] = optimized ? vector(s.W, nt) : Json(nullptr);

  Json& m = j["matrices"];
  m["genetic"] = square(s.G, nt);
  m["residual"] = square(s.R, nt);
  m["prior"] = optimized ? square(s.PRIOR, nt) : Json(nullptr);
  m["genetic_full"] = square(s.GF, nt);
  m["phenotypic"] = square(s.P, nt);
  m["genetic_bent"] = square(s.GADJ, nt);
  m["genetic_full_bent"] = square(s.GFADJ, nt);
  m["phenotypic_bent"] = square(s.PADJ, nt);

  j["parameters_before"] = parameters(s.PAR, s.GF, nt, s.nzero);
  j["parameters_after"] = parameters(s.PARADJ, s.GFADJ, nt, s.nzero_adj);

  // The eigenvalues of R^-1 G exist only when R is positive definite.
  Json& e = j["eigenvalues"];
  const bool have = s.r_positive_definite;
  e["residual_positive_definite"] = have;
  e["mean"] = number(s.eigmean);
  e["before"] = have ? vector(s.EIG, nt) : Json(nullptr);
  e["after"] = have ? vector(s.EIGADJ, nt) : Json(nullptr);
  e["bent_positive_definite"] = have ? Json(s.gadj_positive_definite) : Json(nullptr);
  e["smallest_positive_definite_factor"] =
      have && s.kpd >= 0 ? number(0.001 * static_cast<double>(s.kpd)) : Json(nullptr);

  if (optimized) {
    Json scores = Json::array();
    for (double rho : s.RHO) scores.push_back(number(rho));
    Json& g = j["search"];
    g["scores"] = std::move(scores);
    g["best_index"] = s.kbest;
    g["best_score"] = number(s.rho_best);
  } else {
    j["search"] = nullptr;
  }
  std::string out;
  print(j, 0, out);
  out += "\n";
  return out;
}

}  // namespace vcshrink
