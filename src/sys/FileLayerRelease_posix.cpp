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

// Lives as long as the program: a process forked from this one has no
// closing thread to wait for, and what is left open at the end the system
// closes.
class Closer {
 public:
  void Add(Fd fd) {
    bool wake;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      pending_.push_back(std::move(fd));
      wake = (idle_ && pending_.size() == 1) || pending_.size() == kGroup;
      if (!started_) {
        std::thread([this] { Run(); }).detach();
        started_ = true;
      }
    }
    if (wake) wake_.notify_one();
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (pending_.empty()) {
        idle_ = true;
        wake_.wait(lock, [this] { return !pending_.empty(); });
        idle_ = false;
      }
      wake_.wait_for(lock, kGather, [this] { return pending_.size() >= kGroup; });
      std::vector<Fd> closing = std::move(pending_);
      pending_.clear();
      lock.unlock();
      closing.clear();
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<Fd> pending_;
  bool started_ = false;
  bool idle_ = false;
};

}  // namespace

void CloseLater(Fd fd) {
  static Closer* closer = new Closer;
  closer->Add(std::move(fd));
}

}  // namespace slv2::fs::posix
