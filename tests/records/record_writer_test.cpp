#include "records/record_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vcshrink {
namespace {

std::vector<Value> reals(int n, double x = 0.5) { return std::vector<Value>(static_cast<std::size_t>(n), x); }

std::string write(const Template& t, const std::vector<Value>& values = {}) {
  std::string out;
  StringSink sink(out, "\r\n");
  RecordWriter w(sink);
  w.write(t, values);
  return out;
}

TEST(RecordWriter, LiteralsSkipsAndBreaks) {
  EXPECT_EQ(write({skip(1), lit("Sel: "), field(fixed(5, 2)), brk()}, {1.0}), " Sel:  1.00\r\n\r\n");
  EXPECT_EQ(write({brk(), skip(1), lit("Input values")}), "\r\n Input values\r\n");
  EXPECT_EQ(write({skip(1), group(12, {lit("=")})}), " ============\r\n");
  // Skipped places become blanks only when something follows them.
  EXPECT_EQ(write({skip(5)}), "\r\n");
  EXPECT_EQ(write({skip(3), lit("a"), skip(4)}), "   a\r\n");
}

TEST(RecordWriter, RepeatedFieldContinuesOnNewRecords) {
  const Template row = {repeat(20, fixed(14, 6))};
  const struct {
    int values;
    std::vector<std::size_t> lengths;
  } cases[] = {{3, {42}}, {20, {280}}, {25, {280, 70}}, {40, {280, 280}}, {41, {280, 280, 14}}};
  for (const auto& c : cases) {
    std::string out = write(row, reals(c.values));
    std::vector<std::size_t> lengths;
    for (std::size_t start = 0, end; (end = out.find("\r\n", start)) != std::string::npos; start = end + 2) {
      lengths.push_back(end - start);
    }
    EXPECT_EQ(lengths, c.lengths) << c.values << " values";
  }
}

TEST(RecordWriter, ValuesRunningOutEndTheStatement) {
  const Template weights = {skip(1), lit("Used trait weights: "), repeat(30, fixed(5, 1)), lit("never")};
  EXPECT_EQ(write(weights, {1.0, 0.5, 2.0}), " Used trait weights:   1.0  0.5  2.0\r\n");
  EXPECT_EQ(write({skip(1), lit("no values: "), field(fixed(5, 2)), lit("never")}), " no values: \r\n");
  // Literals after a used-up repeat are written; a template without fields ignores values.
  EXPECT_EQ(write({repeat(2, integer(3)), lit("|")}, {std::int64_t{1}, std::int64_t{2}}), "  1  2|\r\n");
  EXPECT_EQ(write({lit("x")}, reals(3)), "x\r\n");
}

TEST(RecordWriter, EachFieldKindShowsItsOwnKindOfValue) {
  EXPECT_EQ(write({field(integer(3)), field(text(4)), field(fixed(5, 1))},
                  {std::int64_t{7}, std::string_view("ab"), 2.25}),
            "  7  ab  2.3\r\n");
  EXPECT_EQ(write({field(integer(3)), field(fixed(4, 1))}, {0.5, std::int64_t{1}}), "*******\r\n");
}

}  // namespace
}  // namespace vcshrink
