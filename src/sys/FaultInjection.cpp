#include "sys/FaultInjection.h"

#include <atomic>

namespace slv2::fs::fault {
namespace {

std::atomic<unsigned> g_kinds{kAll};
std::atomic<int64_t> g_countdown{0};  // 0: disarmed
std::atomic<int64_t> g_counted{0};
std::atomic<bool> g_fired{false};
std::atomic<bool> g_creationFails{false};

}  // namespace

void Arm(int64_t countdown, unsigned operations) {
  g_kinds = operations;
  g_counted = 0;
  g_fired = false;
  g_countdown = countdown;
}

void Disarm() {
  g_countdown = 0;
  g_kinds = kAll;
}

void SetCreationFails(bool fails) {
  g_creationFails = fails;
}

int64_t Counted() {
  return g_counted;
}

bool Fired() {
  return g_fired;
}

bool ShouldFail(Operation operation) {
  if (operation == kCreate && g_creationFails) return true;
  if (!(g_kinds.load(std::memory_order_relaxed) & operation)) return false;
  g_counted.fetch_add(1, std::memory_order_relaxed);
  if (g_countdown.load(std::memory_order_relaxed) <= 0) return false;
  if (g_countdown.fetch_sub(1) == 1) {
    g_fired = true;
    return true;
  }
  return false;
}

}  // namespace slv2::fs::fault
