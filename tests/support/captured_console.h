// Test helper: a console whose standard output and error stream are kept in memory.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "records/console.h"
#include "records/record_writer.h"

namespace vcshrink::testing {

class CapturedConsole {
 public:
  CapturedConsole() : out_(open_memstream(&out_buf_, &out_len_)), err_(open_memstream(&err_buf_, &err_len_)) {
    if (out_ == nullptr || err_ == nullptr) std::abort();
  }
  CapturedConsole(const CapturedConsole&) = delete;
  CapturedConsole& operator=(const CapturedConsole&) = delete;
  ~CapturedConsole() {
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

 private:
  char* out_buf_ = nullptr;
  std::size_t out_len_ = 0;
  char* err_buf_ = nullptr;
  std::size_t err_len_ = 0;
  std::FILE* out_;
  std::FILE* err_;

 public:
  Console console{out_, err_};
  RecordWriter screen{console};
};

}  // namespace vcshrink::testing
