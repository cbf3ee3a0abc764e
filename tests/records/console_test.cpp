#include "records/console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vcshrink {
namespace {

// A console whose two streams are captured in memory.
class CapturedConsole : public ::testing::Test {
 protected:
  void SetUp() override {
    out_ = open_memstream(&out_buf_, &out_len_);
    err_ = open_memstream(&err_buf_, &err_len_);
  }
  void TearDown() override {
    std::fclose(out_);
    std::fclose(err_);
    std::free(out_buf_);
    std::free(err_buf_);
  }
  std::string out() {
    std::fflush(out_);
    return {out_buf_, out_len_};
  }
  std::string err() {
    std::fflush(err_);
    return {err_buf_, err_len_};
  }

  std::FILE* out_ = nullptr;
  std::FILE* err_ = nullptr;
  char* out_buf_ = nullptr;
  char* err_buf_ = nullptr;
  std::size_t out_len_ = 0;
  std::size_t err_len_ = 0;
};

TEST_F(CapturedConsole, LineEndIsOwedUntilTheNextRecord) {
  Console console(out_, err_);
  RecordWriter screen(console);
  screen.write({skip(5), lit("Name of input file?  -->  ")});
  EXPECT_EQ(out(), "    Name of input file?  -->  ");
  screen.write({skip(5), lit("Name of output file? -->  ")});
  EXPECT_EQ(out(), "    Name of input file?  -->  \n    Name of output file? -->  ");
}

TEST_F(CapturedConsole, EmptyRecordShowsAsEmptyLineAtOnce) {
  Console console(out_, err_);
  RecordWriter screen(console);
  screen.write({skip(5), lit("cr?  -->  ")});
  screen.write({brk(), skip(5), lit("Use of the \"optimized\" procedure? (1)")});
  screen.write({skip(5), lit("next")});
  EXPECT_EQ(out(), "    cr?  -->  \n\n    Use of the \"optimized\" procedure? (1)\n    next");
  // An empty record first of all starts no owed line.
  Console fresh(err_, err_);
  RecordWriter w(fresh);
  w.write({brk(), skip(5), lit("a")});
  EXPECT_EQ(err(), "\n    a");
}

TEST_F(CapturedConsole, ErrorLineEndsTheOpenConsoleLine) {
  Console console(out_, err_);
  RecordWriter screen(console);
  screen.write({skip(1), lit("matrix singulaer!")});
  console.error_line("Program Completed");
  console.error_line("Press Enter to Continue.");
  console.end_line();
  EXPECT_EQ(out(), "matrix singulaer!\n");
  EXPECT_EQ(err(), "Program Completed\nPress Enter to Continue.\n");
}

}  // namespace
}  // namespace vcshrink
