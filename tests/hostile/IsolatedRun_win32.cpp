#include <filesystem>

#include "IsolatedRun.h"
#include "TestSupport.h"

namespace slv2::test {

// No fork on Windows: the work runs here, and a hang shows only as the time
// it took; the current folder comes back afterwards.
IsolatedOutcome RunIsolated(const std::string& folder, std::chrono::milliseconds limit,
                            const std::function<std::string()>& work) {
  using Clock = std::chrono::steady_clock;
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(FsPath(folder));
  IsolatedOutcome outcome;
  Clock::time_point start = Clock::now();
  try {
    outcome.report = work();
  } catch (const std::exception& e) {
    outcome.kind = IsolatedOutcome::kCrashed;
    outcome.how = std::string("exception escaped: ") + e.what();
  }
  std::filesystem::current_path(previous);
  outcome.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  if (outcome.kind == IsolatedOutcome::kFinished && outcome.elapsed > limit) {
    outcome.kind = IsolatedOutcome::kTimedOut;
  }
  return outcome;
}

}  // namespace slv2::test
