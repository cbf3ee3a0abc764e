// Test helper: runs a step of the program and keeps how it ended the run, if it did.
#pragma once

#include <optional>
#include <utility>

#include "run/end_run.h"

namespace vcshrink::testing {

// The RunEnd that step threw, or nothing when it returned.
template <typename Step>
std::optional<RunEnd> run_end_of(Step&& step) {
  try {
    std::forward<Step>(step)();
  } catch (const RunEnd& end) {
    return end;
  }
  return std::nullopt;
}

}  // namespace vcshrink::testing
