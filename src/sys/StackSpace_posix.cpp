// Linux twin: the thread's stack as the threads library describes it (for
// the main thread, as far as the stack size limit lets it grow).
#include <pthread.h>

#include <cstdint>
#include <exception>

#include "sys/StackSpace.h"

namespace slv2 {

namespace {

// The thread's usable stack, [end, top). Asking the threads library costs a
// read of /proc/self/maps for the main thread, so each thread asks once.
struct StackBounds {
  uintptr_t end = 0;
  uintptr_t top = 0;
};

StackBounds QueryBounds() {
  StackBounds bounds;
  pthread_attr_t attr;
  if (::pthread_getattr_np(::pthread_self(), &attr) != 0) return bounds;
  void* low = nullptr;
  size_t size = 0, guard = 0;
  if (::pthread_attr_getstack(&attr, &low, &size) == 0 &&
      ::pthread_attr_getguardsize(&attr, &guard) == 0) {
    bounds.end = reinterpret_cast<uintptr_t>(low) + guard;
    bounds.top = reinterpret_cast<uintptr_t>(low) + size;
  }
  ::pthread_attr_destroy(&attr);
  return bounds;
}

}  // namespace

size_t RemainingStackBytes() {
  thread_local const StackBounds bounds = QueryBounds();
  // The frame's address, not a local's: a sanitizer may keep locals elsewhere.
  auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  if (here <= bounds.end || here > bounds.top) return 0;
  return here - bounds.end;
}

namespace {

struct Job {
  const std::function<void()>* work;
  std::exception_ptr error;
};

void* RunJob(void* argument) {
  auto* job = static_cast<Job*>(argument);
  try {
    (*job->work)();
  } catch (...) {
    job->error = std::current_exception();
  }
  return nullptr;
}

}  // namespace

void RunWithStack(size_t bytes, const std::function<void()>& work) {
  Job job{&work, nullptr};
  pthread_attr_t attr;
  pthread_t thread;
  bool started = ::pthread_attr_init(&attr) == 0;
  started = started && ::pthread_attr_setstacksize(&attr, bytes) == 0 &&
            ::pthread_create(&thread, &attr, RunJob, &job) == 0;
  ::pthread_attr_destroy(&attr);
  if (!started) return work();
  ::pthread_join(thread, nullptr);
  if (job.error) std::rethrow_exception(job.error);
}

}  // namespace slv2
