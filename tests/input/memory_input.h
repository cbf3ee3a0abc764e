// Test helpers: a line source over bytes held in memory, and a captured console.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "input/line_source.h"
#include "records/console.h"
#include "records/record_writer.h"

namespace vcshrink::testing {

// The bytes as a stream and as a line source named name.
class MemoryInput {
 public:
  explicit MemoryInput(std::string bytes, std::string name = "standard input",
                       LineSource::Kind kind = LineSource::Kind::Console)
      : bytes_(std::move(bytes)) {
    file_ = bytes_.empty() ? std::fopen("/dev/null", "r") : fmemopen(bytes_.data(), bytes_.size(), "r");
    if (file_ == nullptr) std::abort();
    lines = LineSource(file_, std::move(name), kind);
  }
  MemoryInput(const MemoryInput&) = delete;
  MemoryInput& operator=(const MemoryInput&) = delete;
  ~MemoryInput() { std::fclose(file_); }

  LineSource lines;

 private:
  std::string bytes_;
  std::FILE* file_ = nullptr;
};

// A console whose standard output and error stream are kept in memory.
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
