#include "input/line_source.h"

#include <cerrno>
#include <cstdio>

namespace vcshrink {

LineSource::Status LineSource::next_line() {
  line_.clear();
  if (ended_ || file_ == nullptr) {
    ended_ = true;
    return Status::End;
  }
  bool any = false;
  for (;;) {
    errno = 0;
    // Only this source reads its stream, from one thread: the unlocked form takes the
    // character straight from the stream's buffer instead of a library call per byte.
    const int c = getc_unlocked(file_);
    if (c == EOF) {
      if (std::ferror(file_)) {
        os_error_ = errno != 0 ? errno : EIO;
        ended_ = true;
        ++line_number_;
        return Status::Failed;
      }
      ended_ = true;
      if (!any) return Status::End;
      break;  // a last line without its line end
    }
    any = true;
    if (c == '\n') break;
    if (line_.size() >= MaxLineLength + 1) {
      // One character more than the limit is kept so that a line of exactly the
      // limit followed by its CR is still accepted below.
      ended_ = true;
      ++line_number_;
      line_.clear();
      return Status::TooLong;
    }
    line_.push_back(static_cast<char>(c));
  }
  if (!line_.empty() && line_.back() == '\r') line_.pop_back();
  ++line_number_;
  if (line_.size() > MaxLineLength) {
    ended_ = true;
    line_.clear();
    return Status::TooLong;
  }
  return Status::Line;
}

}  // namespace vcshrink
