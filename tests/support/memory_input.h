// Test helper: a line source over bytes held in memory.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "input/line_source.h"
#include "captured_console.h"

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

}  // namespace vcshrink::testing
