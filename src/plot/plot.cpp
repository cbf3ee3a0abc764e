#include "plot/plot.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

namespace vcshrink {
namespace {

// Page geometry, in SVG user units.
constexpr double PageWidth = 760;
constexpr double Left = 120;   // left edge of both plot areas (row and axis labels before it)
constexpr double Right = 730;  // right edge of both plot areas

// x with exactly `decimals` decimals: the same bytes from every build.
std::string fixed(double x, int decimals) {
  if (!std::isfinite(x)) x = 0;
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, decimals);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("0");
}

// A coordinate: two decimals are a hundredth of a unit, finer than any screen.
std::string c(double x) { return fixed(x, 2); }

// x in its shortest round-trip form, as the user would type it.
std::string shortest(double x) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, x);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("?");
}

// Text for XML character data: markup characters escaped; bytes that are not valid
// UTF-8, and characters XML does not allow (controls other than tab), become U+FFFD.
std::string xml_text(std::string_view in) {
  static constexpr std::string_view Replacement = "\xEF\xBF\xBD";
  std::string out;
  std::size_t i = 0;
  while (i < in.size()) {
    const auto b = static_cast<unsigned char>(in[i]);
    if (b < 0x80) {
      if (b == '&') out += "&amp;";
      else if (b == '<') out += "&lt;";
      else if (b == '>') out += "&gt;";
      else if (b < 0x20 && b != '\t') out += Replacement;
      else out += static_cast<char>(b);
      ++i;
      continue;
    }
    std::size_t len = 0;
    char32_t cp = 0;
    if (b >= 0xC2 && b <= 0xDF) len = 2, cp = b & 0x1Fu;
    else if (b >= 0xE0 && b <= 0xEF) len = 3, cp = b & 0x0Fu;
    else if (b >= 0xF0 && b <= 0xF4) len = 4, cp = b & 0x07u;
    bool ok = len > 0 && i + len <= in.size();
    for (std::size_t k = 1; ok && k < len; ++k) {
      const auto cb = static_cast<unsigned char>(in[i + k]);
      ok = (cb & 0xC0u) == 0x80u;
      cp = (cp << 6) | (cb & 0x3Fu);
    }
    // Overlong forms, surrogates, code points past U+10FFFF and the two non-characters
    // U+FFFE and U+FFFF are not allowed either.
    if (ok && ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
               (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF)) {
      ok = false;
    }
    if (ok) {
      out.append(in.substr(i, len));
      i += len;
    } else {
      out += Replacement;
      ++i;
    }
  }
  return out;
}

// A linear axis from lo to hi with ticks at whole multiples of a step of 1, 2 or 5
// times a power of ten. Degenerate ranges are widened; a range too wide for ticks
// keeps only its two ends.
struct Axis {
  double lo = 0, hi = 1, step = 0;
  double first = 0;  // lo / step
  int ticks = 0;
  int decimals = 0;
  bool scientific = false;

  double at(double v, double from, double to) const { return from + (v - lo) / (hi - lo) * (to - from); }
  double tick(int i) const { return (first + i) * step; }
  std::string label(double v) const {
    if (v == 0) return "0";
    if (!scientific) return fixed(v, decimals);
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 1);
    return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("?");
  }
};

Axis make_axis(double lo, double hi) {
  Axis a;
  if (!(hi > lo)) {
    const double d = lo != 0 ? std::fabs(lo) * 0.1 : 1.0;
    hi = lo + d;
    lo = lo - d;
  }
  a.lo = lo;
  a.hi = hi;
  const double raw = (hi - lo) / 6;
  if (!std::isfinite(raw) || !(raw > 1e-300)) return a;
  // p: a power of ten at or below raw, by repeated steps (the same in every build).
  double p = 1;
  int e = 0;
  while (p * 10 <= raw && e < 300) p *= 10, ++e;
  while (p > raw && e > -300) p /= 10, --e;
  double step = 10 * p;
  int es = e + 1;
  if (raw <= p) step = p, es = e;
  else if (raw <= 2 * p) step = 2 * p, es = e;
  else if (raw <= 5 * p) step = 5 * p, es = e;
  const double first = std::floor(lo / step), last = std::ceil(hi / step);
  if (!(step > 0) || !std::isfinite(first) || !std::isfinite(last) || last - first > 40) return a;
  a.step = step;
  a.first = first;
  a.ticks = static_cast<int>(last - first) + 1;
  a.lo = first * step;
  a.hi = last * step;
  a.decimals = es < 0 ? -es : 0;
  a.scientific = es > 6 || es < -5;
  return a;
}

class Svg {
 public:
  std::string out;

  // Appends each part in turn (no temporary strings joined with +).
  template <class... Parts>
  void put(const Parts&... parts) {
    (out.append(std::string_view(parts)), ...);
  }

  void line(double x1, double y1, double x2, double y2, std::string_view style) {
    put("<line x1=\"", c(x1), "\" y1=\"", c(y1), "\" x2=\"", c(x2), "\" y2=\"", c(y2), "\" ", style, "/>\n");
  }
  void text(double x, double y, std::string_view anchor, std::string_view content, std::string_view extra = {}) {
    put("<text x=\"", c(x), "\" y=\"", c(y), "\" text-anchor=\"", anchor, "\"");
    if (!extra.empty()) put(" ", extra);
    put(">", content, "</text>\n");
  }
  void circle(double x, double y, double r, std::string_view style) {
    put("<circle cx=\"", c(x), "\" cy=\"", c(y), "\" r=\"", c(r), "\" ", style, "/>\n");
  }
  void rect(double x, double y, double w, double h, std::string_view style) {
    put("<rect x=\"", c(x), "\" y=\"", c(y), "\" width=\"", c(w), "\" height=\"", c(h), "\" ", style, "/>\n");
  }

  // A horizontal axis at height y over [Left, Right], ticks and labels below it.
  void x_axis(const Axis& a, double y, std::string_view caption) {
    line(Left, y, Right, y, "stroke=\"black\"");
    for (int i = 0; i < a.ticks; ++i) {
      const double x = a.at(a.tick(i), Left, Right);
      line(x, y, x, y + 5, "stroke=\"black\"");
      text(x, y + 18, "middle", a.label(a.tick(i)));
    }
    if (a.ticks == 0) {
      text(Left, y + 18, "middle", a.label(a.lo));
      text(Right, y + 18, "middle", a.label(a.hi));
    }
    text((Left + Right) / 2, y + 36, "middle", caption);
  }

  // A vertical axis at x = Left over [top, bottom], ticks and labels left of it.
  void y_axis(const Axis& a, double top, double bottom, std::string_view caption) {
    line(Left, top, Left, bottom, "stroke=\"black\"");
    for (int i = 0; i < a.ticks; ++i) {
      const double y = a.at(a.tick(i), bottom, top);
      line(Left - 5, y, Left, y, "stroke=\"black\"");
      text(Left - 8, y + 4, "end", a.label(a.tick(i)));
    }
    if (a.ticks == 0) {
      text(Left - 8, bottom + 4, "end", a.label(a.lo));
      text(Left - 8, top + 4, "end", a.label(a.hi));
    }
    const double mid = (top + bottom) / 2;
    std::string turn = "transform=\"rotate(-90 30 ";
    turn += c(mid);
    turn += ")\"";
    text(30, mid, "middle", caption, turn);
  }
};

const std::string_view RInvG = "R<tspan dy=\"-5\" font-size=\"9\">-1</tspan><tspan dy=\"5\">G</tspan>";

// The eigenvalues before (open circles) and after bending (filled), one row each, each
// eigenvalue's move joined by a grey line; a dashed red line marks zero.
void eigenvalue_panel(Svg& svg, const RunState& s, double top) {
  std::string heading = "Eigenvalues of ";
  heading += RInvG;
  heading += " before and after bending";
  svg.text(Left, top, "start", heading, "font-weight=\"bold\"");
  const double area_top = top + 15, row_before = top + 45, row_after = top + 105, axis_y = top + 135;
  svg.text(Left - 10, row_before + 4, "end", "before bending");
  svg.text(Left - 10, row_after + 4, "end", "after bending");
  if (!s.r_positive_definite) {
    svg.line(Left, axis_y, Right, axis_y, "stroke=\"black\"");
    svg.text((Left + Right) / 2, (row_before + row_after) / 2, "middle",
             "not available: the residual matrix is not positive definite");
    return;
  }
  double lo = 0, hi = 0;
  for (int k = 1; k <= s.nt; ++k) {
    for (double v : {s.EIG(k), s.EIGADJ(k)}) {
      if (!std::isfinite(v)) continue;
      if (v < lo) lo = v;
      if (v > hi) hi = v;
    }
  }
  const Axis a = make_axis(lo, hi);
  const double zero = a.at(0, Left, Right);
  svg.line(zero, area_top, zero, axis_y, "stroke=\"#d62728\" stroke-dasharray=\"4 3\"");
  svg.text(zero, area_top - 3, "middle", "0", "fill=\"#d62728\"");
  for (int k = 1; k <= s.nt; ++k) {
    const double b = s.EIG(k), f = s.EIGADJ(k);
    if (std::isfinite(b) && std::isfinite(f)) {
      svg.line(a.at(b, Left, Right), row_before, a.at(f, Left, Right), row_after, "stroke=\"#999999\"");
    }
    if (std::isfinite(b)) svg.circle(a.at(b, Left, Right), row_before, 4.5, "fill=\"white\" stroke=\"#1f77b4\" stroke-width=\"1.5\"");
    if (std::isfinite(f)) svg.circle(a.at(f, Left, Right), row_after, 4.5, "fill=\"#1f77b4\"");
  }
  svg.x_axis(a, axis_y, "eigenvalue");
}

// The score of every grid factor (undefined scores leave a gap), the factors whose
// bent matrix is positive definite shaded, the chosen factor marked.
void score_panel(Svg& svg, const RunState& s, double top) {
  svg.text(Left, top, "start", "Score of the selection index against the bending factor", "font-weight=\"bold\"");
  const double area_top = top + 15, area_bottom = top + 215;
  double lo = 0, hi = 0;
  bool any = false;
  for (double r : s.RHO) {
    if (!std::isfinite(r)) continue;
    if (!any || r < lo) lo = r;
    if (!any || r > hi) hi = r;
    any = true;
  }
  const Axis fx = make_axis(0, 1);
  const Axis fy = make_axis(lo, hi);
  const auto X = [&](double f) { return fx.at(f, Left, Right); };
  const auto Y = [&](double r) { return fy.at(r, area_bottom, area_top); };

  if (s.r_positive_definite && s.kpd >= 0) {
    const double x0 = X(0.001 * s.kpd);
    svg.rect(x0, area_top, Right - x0, area_bottom - area_top, "fill=\"#d9f0d3\"");
    svg.text(Right - 4, area_top + 14, "end", "bent matrix positive definite", "fill=\"#2a7a2a\"");
  }
  std::string points;
  const auto flush = [&] {
    if (!points.empty()) svg.put("<polyline fill=\"none\" stroke=\"#1f77b4\" stroke-width=\"1.5\" points=\"", points, "\"/>\n");
    points.clear();
  };
  for (int k = 0; k < GridSize; ++k) {
    const double r = s.RHO[static_cast<std::size_t>(k)];
    if (!std::isfinite(r)) {
      flush();
      continue;
    }
    if (!points.empty()) points += ' ';
    points += c(X(0.001 * k));
    points += ',';
    points += c(Y(r));
  }
  flush();
  const double xb = X(s.bf_used);
  svg.line(xb, area_top, xb, area_bottom, "stroke=\"#d62728\" stroke-dasharray=\"4 3\"");
  if (std::isfinite(s.rho_best)) svg.circle(xb, Y(s.rho_best), 4, "fill=\"#d62728\"");
  svg.text(xb, area_top - 3, xb > Right - 60 ? "end" : "middle", std::string("chosen ").append(shortest(s.bf_used)), "fill=\"#d62728\"");
  svg.y_axis(fy, area_top, area_bottom, "score");
  svg.x_axis(fx, area_bottom, "bending factor");
}

}  // namespace

std::string plot_svg(const RunState& s) {
  const bool optimized = s.proc != 2;
  const double height = optimized ? 560 : 270;
  Svg svg;
  svg.out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg.put("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"", c(PageWidth), "\" height=\"", c(height),
          "\" viewBox=\"0 0 ", c(PageWidth), " ", c(height), "\" font-family=\"sans-serif\" font-size=\"12\">\n");
  svg.rect(0, 0, PageWidth, height, "fill=\"white\"");
  std::string title = s.title;
  while (!title.empty() && (title.back() == ' ' || title.back() == '\r')) title.pop_back();
  svg.text(PageWidth / 2, 26, "middle", xml_text(title), "font-size=\"15\" font-weight=\"bold\"");
  std::string subtitle = optimized ? "optimized procedure" : "fixed procedure";
  subtitle += ", bending factor ";
  subtitle += shortest(s.bf_used);
  svg.text(PageWidth / 2, 46, "middle", subtitle);
  eigenvalue_panel(svg, s, 80);
  if (optimized) score_panel(svg, s, 290);
  svg.out += "</svg>\n";
  return svg.out;
}

}  // namespace vcshrink
