// The command line: the options a run takes besides its dialogue, parsed before the
// first prompt. The parser returns what to do and what to show; it never prints.
#pragma once

#include <string>
#include <vector>

namespace vcshrink {

struct Options {
  std::string summary;  // --summary FILE: JSON summary of the run; empty for none
  std::string plot;     // --plot FILE: SVG picture of the eigenvalues and scores; empty for none
};

struct ParsedOptions {
  Options options;
  bool run = true;   // false: do not start the dialogue; show the texts and exit with status
  int status = 0;    // exit status when run is false
  std::string out;   // text for the standard output (help, version)
  std::string err;   // text for the standard error stream (an error and the usage line)
};

// Parses argv[1..argc-1]. --help and --version stop with status 0 and their text; an
// unknown option, a missing value or a stray argument stops with status 1, one line
// naming the problem and the usage line.
ParsedOptions parse_options(int argc, const char* const* argv, const std::string& version);

}  // namespace vcshrink
