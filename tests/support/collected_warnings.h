// Test helper: a warnings sink that keeps every line, in order.
#pragma once

#include <string>
#include <vector>

#include "run/warnings.h"

namespace vcshrink::testing {

class CollectedWarnings final : public Warnings {
 public:
  void line(const std::string& text) override { lines.push_back(text); }
  std::vector<std::string> lines;
};

}  // namespace vcshrink::testing
