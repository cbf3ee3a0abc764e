// The bundled examples still produce the reports bundled with them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "run_program.h"

namespace vcshrink::testing {
namespace {

namespace fs = std::filesystem;

TEST(Examples, EachAnswersFileReproducesItsBundledReport) {
  const fs::path examples = fs::path(VCSHRINK_SOURCE_DIR) / "examples";
  int checked = 0;
  for (const auto& e : fs::directory_iterator(examples)) {
    if (e.path().extension() != ".answers") continue;
    TempDir dir;
    for (const auto& f : fs::directory_iterator(examples)) {
      if (f.path().extension() == ".dat") fs::copy(f.path(), dir / f.path().filename().string());
    }
    const std::string stem = e.path().stem().string();
    const ProgramResult r = run_program(dir.path(), read_file(e.path()));
    EXPECT_EQ(r.status, 0) << stem << ": " << r.err;
    EXPECT_EQ(read_file(dir / (stem + ".out")), read_file(examples / (stem + ".report"))) << stem;
    ++checked;
  }
  EXPECT_EQ(checked, 3);
}

}  // namespace
}  // namespace vcshrink::testing
