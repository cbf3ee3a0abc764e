// The command line: what each form of it does before the dialogue starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver/options.h"

namespace vcshrink::testing {
namespace {

ParsedOptions parse(std::vector<const char*> args) {
  args.insert(args.begin(), "vcshrink");
  return parse_options(static_cast<int>(args.size()), args.data(), "1.2");
}

const std::string usage = "usage: vcshrink [--help] [--version] [--summary FILE] [--plot FILE] [--positive-definite]\n";

TEST(Options, FilesAreTakenInEitherSpelling) {
  const ParsedOptions none = parse({});
  EXPECT_TRUE(none.run);
  EXPECT_EQ(none.options.summary, "");
  EXPECT_EQ(none.options.plot, "");
  const ParsedOptions both = parse({"--summary", "s.json", "--plot=p.svg"});
  EXPECT_TRUE(both.run);
  EXPECT_EQ(both.options.summary, "s.json");
  EXPECT_EQ(both.options.plot, "p.svg");
  EXPECT_EQ(both.out + both.err, "");
}

TEST(Options, PositiveDefiniteIsAFlagOffByDefault) {
  EXPECT_FALSE(parse({}).options.positive_definite);
  const ParsedOptions on = parse({"--summary", "s.json", "--positive-definite"});
  EXPECT_TRUE(on.run);
  EXPECT_TRUE(on.options.positive_definite);
  EXPECT_EQ(on.options.summary, "s.json");
}

TEST(Options, HelpAndVersionStopWithStatusZero) {
  const ParsedOptions help = parse({"--help"});
  EXPECT_FALSE(help.run);
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  for (const char* o : {"--help", "--version", "--summary FILE", "--plot FILE", "--positive-definite"}) {
    EXPECT_NE(help.out.find(o), std::string::npos) << o;
  }
  EXPECT_EQ(parse({"-h"}).out, help.out);
  const ParsedOptions version = parse({"--version", "--summary", "x"});
  EXPECT_FALSE(version.run);
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "vcshrink 1.2\n");
}

TEST(Options, WrongCommandLinesStopWithTheUsageLineAndStatusOne) {
  const std::vector<std::vector<const char*>> wrong = {
      {"--bogus"}, {"--summary"},           {"--plot"}, {"--summary="},
      {"stray"},   {"--summary", "a", "b"}, {"-x"},     {"--positive-definite", "stray"},
  };
  for (const auto& args : wrong) {
    const ParsedOptions r = parse(args);
    EXPECT_FALSE(r.run) << args[0];
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_EQ(r.out, "") << args[0];
    ASSERT_GT(r.err.size(), usage.size()) << args[0];
    EXPECT_EQ(r.err.rfind("vcshrink: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.substr(r.err.size() - usage.size()), usage) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
  }
}

}  // namespace
}  // namespace vcshrink::testing
