// Windows twin: the thread's stack is one reservation below its top; the
// system keeps guard pages at its low end.
#include "sys/WindowsApi.h"
// After <windows.h>.
#include <process.h>

#include <cstdint>
#include <exception>

#include "sys/StackSpace.h"

namespace slv2 {

size_t RemainingStackBytes() {
  void* frame = __builtin_frame_address(0);
  MEMORY_BASIC_INFORMATION region{};
  if (::VirtualQuery(frame, &region, sizeof region) == 0) return 0;
  // The guard pages and the space the system keeps for handling an overflow.
  constexpr uintptr_t kGuard = 64 * 1024;
  auto here = reinterpret_cast<uintptr_t>(frame);
  auto end = reinterpret_cast<uintptr_t>(region.AllocationBase) + kGuard;
  return here > end ? here - end : 0;
}

namespace {

struct Job {
  const std::function<void()>* work;
  std::exception_ptr error;
};

unsigned __stdcall RunJob(void* argument) {
  auto* job = static_cast<Job*>(argument);
  try {
    (*job->work)();
  } catch (...) {
    job->error = std::current_exception();
  }
  return 0;
}

}  // namespace

void RunWithStack(size_t bytes, const std::function<void()>& work) {
  Job job{&work, nullptr};
  // The runtime's thread start, so that the C library is set up for it.
  uintptr_t thread = ::_beginthreadex(nullptr, static_cast<unsigned>(bytes), RunJob, &job,
                                      STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == 0) return work();
  HANDLE handle = reinterpret_cast<HANDLE>(thread);
  ::WaitForSingleObject(handle, INFINITE);
  ::CloseHandle(handle);
  if (job.error) std::rethrow_exception(job.error);
}

}  // namespace slv2
