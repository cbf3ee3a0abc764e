#include "driver/output_files.h"

#include <sys/stat.h>

#include <cstring>

#include "input/diagnostics.h"
#include "input/files.h"
#include "run/end_run.h"

namespace vcshrink {

void write_output_file(const std::string& path, std::string_view bytes, std::string_view what,
                       const std::vector<KeptFile>& kept) {
  const std::string place = display_name(path) + ": cannot write the " + std::string(what) + ": ";
  struct stat a {};
  if (::stat(path.c_str(), &a) == 0 && S_ISREG(a.st_mode)) {
    for (const KeptFile& k : kept) {
      struct stat b {};
      if (::stat(k.name.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino) {
        end_run(ExitStatus::InputOutput, place + "it is " + k.role);
      }
    }
  }
  const int error = replace_file_content(path, bytes);
  if (error != 0) end_run(ExitStatus::InputOutput, place + std::strerror(error));
}

}  // namespace vcshrink
