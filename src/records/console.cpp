#include "records/console.h"

namespace vcshrink {

void Console::emit(std::string_view record) {
  if (owed_) std::fputc('\n', out_);
  if (record.empty()) {
    std::fputc('\n', out_);
    owed_ = false;
  } else {
    // The first position is line control: a blank there starts a new line.
    std::fwrite(record.data() + 1, 1, record.size() - 1, out_);
    owed_ = true;
  }
  std::fflush(out_);
}

void Console::end_line() {
  if (owed_) {
    std::fputc('\n', out_);
    owed_ = false;
  }
  std::fflush(out_);
}

void Console::error_line(std::string_view line) {
  end_line();
  std::fwrite(line.data(), 1, line.size(), err_);
  std::fputc('\n', err_);
  std::fflush(err_);
}

}  // namespace vcshrink
