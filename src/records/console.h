// The console: records on the standard output by the line-control rules (the first
// position is not shown, a record's line end is owed until the next record begins),
// and whole lines on the standard error stream, before which an open line is ended.
#pragma once

#include <cstdio>
#include <string_view>

#include "records/record_writer.h"

namespace vcshrink {

class Console final : public RecordSink {
 public:
  Console(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

  // Shows one record: the owed line end first, then the record without its
  // line-control position; an empty record shows as an empty line at once.
  void emit(std::string_view record) override;
  // Writes the line end still owed, if any.
  void end_line();
  // Ends an open console line, then writes line and its line end on the error stream.
  void error_line(std::string_view line);

 private:
  std::FILE* out_;
  std::FILE* err_;
  bool owed_ = false;
};

}  // namespace vcshrink
