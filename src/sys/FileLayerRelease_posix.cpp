#include "sys/FileLayerRelease_posix.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace slv2::fs::posix {
namespace {

// Descriptors are closed in groups, so that the thread handing them over
// and the closing one seldom wait for each other; one that waits alone is
// closed after a short while.
constexpr size_t kGroup = 64;
constexpr std::chrono::milliseconds kGather{20};

class Closer {
 public:
  ~Closer() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
  }
  void Add(Fd fd) {
    bool wake;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      pending_.push_back(std::move(fd));
      wake = (idle_ && pending_.size() == 1) || pending_.size() == kGroup;
      if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    }
    if (wake) wake_.notify_one();
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (pending_.empty()) {
        idle_ = true;
        wake_.wait(lock, [this] { return stop_ || !pending_.empty(); });
        idle_ = false;
      }
      wake_.wait_for(lock, kGather, [this] { return stop_ || pending_.size() >= kGroup; });
      std::vector<Fd> closing = std::move(pending_);
      pending_.clear();
      if (closing.empty() && stop_) return;
      lock.unlock();
      closing.clear();
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<Fd> pending_;
  std::thread thread_;
  bool idle_ = false;
  bool stop_ = false;
};

}  // namespace

void CloseLater(Fd fd) {
  static Closer closer;
  closer.Add(std::move(fd));
}

}  // namespace slv2::fs::posix
