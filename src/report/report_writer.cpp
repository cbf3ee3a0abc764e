#include "report/report_writer.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace vcshrink {
namespace {

// The title is 80 characters: the first 79 of the input file's first line and a
// blank. A shorter one is filled with blanks so that it stays left-aligned.
constexpr std::size_t TitleLength = 80;

// Values for the fields of one record statement.
struct RowValues {
  std::array<Value, MaxTraits> v{};
  std::size_t n = 0;

  std::span<const Value> span() const { return {v.data(), n}; }
};

// M(i, 1..n), left to right.
RowValues row(const TraitMatrix& m, int i, int n) {
  RowValues r;
  for (int j = 1; j <= n; ++j) r.v[r.n++] = m(i, j);
  return r;
}

// One record per row of up to 20 fields: M(i, 1..i) for i = 1..nt.
void lower_triangle(RecordWriter& out, const TraitMatrix& m, int nt, FieldLayout cell) {
  for (int i = 1; i <= nt; ++i) out.write({repeat(20, cell)}, row(m, i, i).span());
}

// Genetic correlations left of the diagonal, heritability on it, phenotypic
// correlations right of it: M(i, 1..nt) for i = 1..nt.
void parameter_rows(RecordWriter& out, const TraitMatrix& m, int nt) {
  for (int i = 1; i <= nt; ++i) out.write({repeat(20, fixed(8, 2))}, row(m, i, nt).span());
}

// blank_records empty records, the heading after one blank place, and its underline:
// one mark under each character of the heading.
void heading(RecordWriter& out, std::string_view text, char mark, int blank_records = 1) {
  Template t(static_cast<std::size_t>(blank_records), brk());
  t.insert(t.end(), {skip(1), lit(text)});
  out.write(t);
  out.write({skip(1), lit(std::string(text.size(), mark))});
}

void zero_variance_warning(RecordWriter& out) {
  out.write({skip(1), lit("(Warning: A zero-variance was found --> all")});
  out.write({skip(1), lit("related trait correlations were set to zero"), brk()});
}

void parameter_legend(RecordWriter& out) {
  out.write({skip(1), lit("Heritabilities:          -->  diagonal,")});
  out.write({skip(1), lit("Genetic correlations:    -->  lower diagonal")});
  out.write({skip(1), lit("Phenotypic correlations: -->  upper diagonal"), brk()});
}

std::array<Value, 1> one(double x) { return {x}; }

}  // namespace

void write_report(const RunState& s, RecordWriter& out) {
  // Only the leading nt x nt block has meaning; never index past the storage.
  const int nt = std::clamp(static_cast<int>(s.nt), 0, MaxTraits);

  // Title and input echo.
  std::string title = s.title;
  if (title.size() < TitleLength) title.resize(TitleLength, ' ');
  out.write({skip(1), field(text(79)), brk()}, std::array<Value, 1>{std::string_view(title)});
  heading(out, "Input values", '=', 0);
  out.write({skip(1), lit("Selected coefficient of relationship: "), field(fixed(5, 2)), brk()}, one(s.cr_echo));
  heading(out, "Additive genetic VC-matrix (lower triangle)", '-', 0);
  lower_triangle(out, s.G, nt, fixed(14, 6));
  heading(out, "Residual VC-matrix (lower triangle)", '-');
  lower_triangle(out, s.R, nt, fixed(14, 6));

  // Prior matrix: every procedure but the fixed one was scored against it.
  if (s.proc != 2) {
    heading(out, "Prior matrix for genetic parameters (lower triangle)", '-');
    out.write({skip(1), lit("Heritabilities:         -->  diagonal,")});
    out.write({skip(1), lit("Genetic correlations:   -->  lower diagonal"), brk()});
    lower_triangle(out, s.PRIOR, nt, fixed(6, 2));
  }

  // Parameters before bending.
  heading(out, "Parameter estimates before bending", '=');
  if (s.nzero > 0) zero_variance_warning(out);
  parameter_legend(out);
  parameter_rows(out, s.PAR, nt);

  // Bending summary.
  heading(out, s.proc == 1 ? "Results after bending with \"optimized\" procedure"
                           : "Results after bending with \"fixed\" bending factor",
          '=', 2);
  out.write({skip(1), lit("Used bending factor: "), field(fixed(6, 3))}, one(s.bf_used));
  if (s.proc == 1) {
    if (s.wchoice == 1) {
      out.write({skip(1), lit("Used trait weights: --> all equal!")});
    } else {
      RowValues w;
      for (int i = 1; i <= nt; ++i) w.v[w.n++] = s.W(i);
      out.write({skip(1), lit("Used trait weights: "), repeat(30, fixed(5, 1))}, w.span());
    }
  }

  // Adjusted matrices.
  heading(out, "Adjusted (full) additive genetic VC-matrix (lower triangle)", '-');
  lower_triangle(out, s.GFADJ, nt, fixed(14, 6));
  heading(out, "Adjusted phenotypic VC-matrix (lower triangle)", '-');
  lower_triangle(out, s.PADJ, nt, fixed(14, 6));

  // Parameters after bending: underlined with dashes, unlike the table before.
  heading(out, "Parameter estimates after bending", '-');
  if (s.nzero_adj > 0) zero_variance_warning(out);
  parameter_legend(out);
  parameter_rows(out, s.PARADJ, nt);
}

}  // namespace vcshrink
