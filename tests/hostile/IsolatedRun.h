// Runs a piece of work so that a crash or a hang of the code under test fails
// one case instead of the whole test program: in a child process (a process
// group of its own, killed whole at the time limit).
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace slv2::test {

struct IsolatedOutcome {
  enum Kind { kFinished, kCrashed, kTimedOut };
  Kind kind = kFinished;
  std::string how;     // for kCrashed: the signal or exit status
  std::string report;  // what the work returned (kFinished only)
  std::chrono::milliseconds elapsed{0};
};

// Runs `work` with `folder` as the current folder, giving up after `limit`.
IsolatedOutcome RunIsolated(const std::string& folder, std::chrono::milliseconds limit,
                            const std::function<std::string()>& work);

}  // namespace slv2::test
