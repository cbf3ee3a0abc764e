// The picture of a run: a well-formed, self-contained SVG whatever the values, with
// the parts a reader looks for (zero line, chosen factor, positive definite region).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "plot/plot.h"
#include "xml_check.h"

namespace vcshrink::testing {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

// Three traits, optimized procedure, a smooth score curve, one negative eigenvalue.
RunState optimized_run() {
  RunState s;
  s.title = "Three traits" + std::string(68, ' ');
  s.nt = 3;
  s.proc = 1;
  s.eigmean = 0.3;
  s.r_positive_definite = true;
  s.EIG(1) = -0.2, s.EIG(2) = 0.3, s.EIG(3) = 0.8;
  s.bf_used = 0.4;
  for (int k = 1; k <= 3; ++k) s.EIGADJ(k) = 0.6 * s.EIG(k) + 0.4 * s.eigmean;
  s.gadj_positive_definite = true;
  s.kpd = 400;
  for (int k = 0; k < GridSize; ++k) {
    const double f = 0.001 * k;
    s.RHO[static_cast<std::size_t>(k)] = 0.45 - (f - 0.4) * (f - 0.4) * 0.1;
  }
  s.kbest = 400;
  s.rho_best = 0.45;
  return s;
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(Plot, OptimizedRunShowsEigenvaluesScoresChoiceAndPositiveDefiniteRegion) {
  const std::string svg = plot_svg(optimized_run());
  EXPECT_EQ(xml_problem(svg), "");
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  EXPECT_EQ(count(svg, "<circle"), 3u + 3u + 1u);  // before, after, the chosen score
  EXPECT_EQ(count(svg, "<polyline"), 1u);
  EXPECT_EQ(count(svg, "points=\""), 1u);
  EXPECT_NE(svg.find(">0</text>"), std::string::npos) << "zero marked";
  EXPECT_NE(svg.find("chosen 0.4<"), std::string::npos);
  EXPECT_NE(svg.find("positive definite"), std::string::npos);
  EXPECT_NE(svg.find(">bending factor<"), std::string::npos);
  EXPECT_NE(svg.find(">score<"), std::string::npos);
  EXPECT_NE(svg.find(">eigenvalue<"), std::string::npos);
  // Self-contained: nothing fetched, nothing run.
  for (const char* banned : {"<script", "href", "<image", "url(", "@import", "<foreignObject"}) {
    EXPECT_EQ(svg.find(banned), std::string::npos) << banned;
  }
  // The score curve: 1001 points, the shaded region from factor 0.4 (x = 120 + 0.4 * 610).
  const std::size_t p = svg.find("points=\"");
  EXPECT_EQ(count(svg.substr(p, svg.find('"', p + 8) - p), ","), 1001u);
  EXPECT_NE(svg.find("<rect x=\"364.00\""), std::string::npos);
}

TEST(Plot, UndefinedScoresLeaveGapsAndNoRegionWithoutAPositiveDefiniteFactor) {
  RunState s = optimized_run();
  s.RHO[0] = NaN;
  s.RHO[500] = NaN;
  s.RHO[501] = Inf;
  s.kpd = -1;
  const std::string svg = plot_svg(s);
  EXPECT_EQ(xml_problem(svg), "");
  EXPECT_EQ(count(svg, "<polyline"), 2u);
  EXPECT_EQ(svg.find("positive definite"), std::string::npos);
  EXPECT_EQ(svg.find("nan"), std::string::npos);
  EXPECT_EQ(svg.find("inf"), std::string::npos);
}

TEST(Plot, FixedRunHasOnlyTheEigenvaluePanel) {
  RunState s = optimized_run();
  s.proc = 2;
  s.bf_used = 0.3125;
  const std::string svg = plot_svg(s);
  EXPECT_EQ(xml_problem(svg), "");
  EXPECT_EQ(svg.find("<polyline"), std::string::npos);
  EXPECT_EQ(svg.find("chosen"), std::string::npos);
  EXPECT_NE(svg.find("fixed procedure, bending factor 0.3125<"), std::string::npos);
}

// Values no picture expects still give a well-formed document with finite coordinates.
TEST(Plot, ExtremeOrMissingValuesStayWellFormed) {
  struct Case {
    const char* what;
    double e1, e2, e3;
    bool r_pd;
  };
  const Case cases[] = {
      {"all eigenvalues zero", 0, 0, 0, true},
      {"all equal and positive", 2, 2, 2, true},
      {"tiny range", 1e-310, 2e-310, 3e-310, true},
      {"range beyond a double", -1.7e308, 0, 1.7e308, true},
      {"infinite and undefined", -Inf, NaN, Inf, true},
      {"residual matrix not positive definite", 0, 0, 0, false},
  };
  for (const Case& c : cases) {
    RunState s = optimized_run();
    s.EIG(1) = c.e1, s.EIG(2) = c.e2, s.EIG(3) = c.e3;
    s.EIGADJ = s.EIG;
    s.r_positive_definite = c.r_pd;
    const std::string svg = plot_svg(s);
    EXPECT_EQ(xml_problem(svg), "") << c.what;
    EXPECT_EQ(svg.find("nan"), std::string::npos) << c.what;
    EXPECT_EQ(svg.find("inf"), std::string::npos) << c.what;
    if (!c.r_pd) {
      EXPECT_NE(svg.find("not positive definite"), std::string::npos) << c.what;
    }
  }
}

TEST(Plot, TitleIsEscapedAndInvalidBytesReplaced) {
  RunState s = optimized_run();
  s.title = std::string("a<b & \"c\" \x01 \xC3\xA9 \xFF \xE2\x82 \xED\xA0\x80 end") + " ";
  const std::string svg = plot_svg(s);
  EXPECT_EQ(xml_problem(svg), "");
  EXPECT_NE(svg.find("a&lt;b &amp; \"c\" \xEF\xBF\xBD \xC3\xA9 \xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD "
                     "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD end</text>"),
            std::string::npos)
      << svg.substr(0, 400);
}

TEST(XmlCheck, FindsTheFaultsItLooksFor) {
  EXPECT_EQ(xml_problem("<a x=\"1\"><b/>t &amp; u</a>"), "");
  for (const char* bad : {"<a><b></a></b>", "<a>", "<a x=1/>", "<a x=\"1\" x=\"2\"/>", "<a>1 < 2</a>",
                          "<a>&nbsp;</a>", "<a/><b/>", "text"}) {
    EXPECT_NE(xml_problem(bad), "") << bad;
  }
}

}  // namespace
}  // namespace vcshrink::testing
