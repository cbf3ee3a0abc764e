// The files a run writes besides its report (the summary and the picture): each one is
// formed whole and then replaces the file's content in one step, or the file is left
// exactly as it was.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vcshrink {

// A file of the run that an output file must not replace, and how the diagnostic names it.
struct KeptFile {
  std::string name;  // as typed
  std::string role;  // "the input file", "the report file", ...
};

// Writes bytes as the whole content of path, the way the report replaces its file
// (replace_file_content); `what` names the file in the diagnostic ("summary file"). Ends the run with a diagnostic and status 1 when path is one of the
// kept files or cannot be written.
void write_output_file(const std::string& path, std::string_view bytes, std::string_view what,
                       const std::vector<KeptFile>& kept);

}  // namespace vcshrink
