#include "updater/Slv2Cancel.h"

#include <atomic>

namespace slv2::cancel {
namespace {

// 0: no request. Lock-free, so that a signal handler may set it.
std::atomic<int> g_request{0};
static_assert(std::atomic<int>::is_always_lock_free);

// A request whose reason is 0 still counts.
constexpr int kNoReason = -1;

}  // namespace

void Request(int reason) noexcept {
  g_request.store(reason == 0 ? kNoReason : reason);
}

bool Requested() noexcept {
  return g_request.load() != 0;
}

void Clear() noexcept {
  g_request.store(0);
}

void CheckPoint() {
  int reason = g_request.load();
  if (reason != 0) throw TRunCancelled(reason == kNoReason ? 0 : reason);
}

}  // namespace slv2::cancel
