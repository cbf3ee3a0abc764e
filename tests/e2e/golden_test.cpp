// Whole runs of the built program against recorded cases. Each folder under
// tests/e2e/cases holds the answers typed at the console (stdin), any files the run
// finds in its directory, and what the run must leave: expected.stdout,
// expected.stderr, expected.status, under expected.files/, the exact content of every
// file named there (the report, or an old report that must stay unchanged), and in
// expected.absent, one name a line, the files the run must not have created.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "run_program.h"

namespace vcshrink::testing {
namespace {

namespace fs = std::filesystem;

const fs::path cases_dir = fs::path(VCSHRINK_SOURCE_DIR) / "tests" / "e2e" / "cases";

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  if (fs::is_directory(cases_dir)) {
    for (const auto& e : fs::directory_iterator(cases_dir)) {
      if (e.is_directory()) names.push_back(e.path().filename().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

class Golden : public ::testing::TestWithParam<std::string> {};

TEST_P(Golden, RunLeavesExactlyTheRecordedBytes) {
  const fs::path dir = cases_dir / GetParam();
  TempDir tmp;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name == "stdin" || name.rfind("expected", 0) == 0) continue;
    fs::copy(e.path(), tmp.path() / name, fs::copy_options::recursive);
  }
  const ProgramResult r = run_program(tmp.path(), read_file(dir / "stdin"));
  EXPECT_EQ(r.out, read_file(dir / "expected.stdout"));
  EXPECT_EQ(r.err, read_file(dir / "expected.stderr"));
  EXPECT_EQ(std::to_string(r.status) + "\n", read_file(dir / "expected.status"));
  const fs::path files = dir / "expected.files";
  if (fs::is_directory(files)) {
    for (const auto& e : fs::directory_iterator(files)) {
      const std::string name = e.path().filename().string();
      ASSERT_TRUE(fs::exists(tmp.path() / name)) << name;
      EXPECT_EQ(read_file(tmp.path() / name), read_file(e.path())) << name;
    }
  }
  if (fs::exists(dir / "expected.absent")) {
    std::istringstream absent(read_file(dir / "expected.absent"));
    for (std::string name; std::getline(absent, name);) {
      EXPECT_FALSE(fs::exists(fs::symlink_status(tmp.path() / name))) << name << " was created";
    }
  }
}

// The suite above passes vacuously when no case is found, so the case set is checked
// on its own: a missing or empty cases folder, or a case without its stdin or one of
// its expected outputs (read as empty, it would compare against nothing), fails here.
TEST(GoldenCases, EveryRecordedCaseIsComplete) {
  const std::vector<std::string> names = case_names();
  ASSERT_FALSE(names.empty()) << "no recorded case under " << cases_dir;
  for (const std::string& name : names) {
    for (const char* file : {"stdin", "expected.stdout", "expected.stderr", "expected.status"}) {
      EXPECT_TRUE(fs::is_regular_file(cases_dir / name / file)) << name << " lacks " << file;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(case_names()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string n = info.param;
                           for (char& c : n) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return n;
                         });

}  // namespace
}  // namespace vcshrink::testing
