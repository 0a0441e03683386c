#include "app/CancelSignals.h"

#include <atomic>

#include "app/ExitStatus.h"
#include "sys/PcreRegExp.h"
#include "updater/Slv2Cancel.h"

namespace slv2 {
namespace {

// Before the run, ending the program cancels it; -1 while it is on.
std::atomic<int> g_exitWhenIdle{kExitCancelled};
static_assert(std::atomic<int>::is_always_lock_free);

}  // namespace

void TCancelSignals::RunStarts() {
  cancel::Clear();
  // A text replacement may search for seconds between two safe points.
  TPcreRegExp::SetStopRequest(cancel::Requested);
  g_exitWhenIdle = -1;
}

void TCancelSignals::RunEnds(int exitStatus) {
  TPcreRegExp::SetStopRequest(nullptr);
  g_exitWhenIdle = exitStatus;
}

int TCancelSignals::ExitStatusWhenIdle() noexcept {
  return g_exitWhenIdle.load();
}

}  // namespace slv2
