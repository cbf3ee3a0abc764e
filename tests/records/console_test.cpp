#include "records/console.h"

#include <gtest/gtest.h>

#include <string>

#include "captured_console.h"

namespace vcshrink {
namespace {

using testing::CapturedConsole;

TEST(Console, LineEndIsOwedUntilTheNextRecord) {
  CapturedConsole c;
  c.screen.write({skip(5), lit("Name of input file?  -->  ")});
  EXPECT_EQ(c.out(), "    Name of input file?  -->  ");
  c.screen.write({skip(5), lit("Name of output file? -->  ")});
  EXPECT_EQ(c.out(), "    Name of input file?  -->  \n    Name of output file? -->  ");
}

TEST(Console, EmptyRecordShowsAsEmptyLineAtOnce) {
  CapturedConsole c;
  c.screen.write({skip(5), lit("cr?  -->  ")});
  c.screen.write({brk(), skip(5), lit("Use of the \"optimized\" procedure? (1)")});
  c.screen.write({skip(5), lit("next")});
  EXPECT_EQ(c.out(), "    cr?  -->  \n\n    Use of the \"optimized\" procedure? (1)\n    next");
  // An empty record as the very first starts with no owed line end.
  CapturedConsole fresh;
  fresh.screen.write({brk(), skip(5), lit("a")});
  EXPECT_EQ(fresh.out(), "\n    a");
}

TEST(Console, ErrorLineEndsTheOpenConsoleLine) {
  CapturedConsole c;
  c.screen.write({skip(1), lit("matrix singulaer!")});
  c.console.error_line("Program Completed");
  c.console.error_line("Press Enter to Continue.");
  c.console.end_line();
  EXPECT_EQ(c.out(), "matrix singulaer!\n");
  EXPECT_EQ(c.err(), "Program Completed\nPress Enter to Continue.\n");
}

}  // namespace
}  // namespace vcshrink
