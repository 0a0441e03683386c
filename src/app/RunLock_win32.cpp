#include <atomic>

#include "app/RunLock.h"
#include "sys/Format.h"
#include "sys/WinError.h"
#include "sys/WindowsApi.h"

namespace slv2 {

namespace {

// One name for every session of the machine (terminal services, fast user
// switching): an update run by another administrator counts too.
constexpr const char* kMutexName = "Global\\slv2update.run";

// A mutex is re-entered by the thread that owns it; the lock, like the Linux
// file lock, is held once: a second try in the process that holds it fails.
std::atomic<bool> heldHere{false};

[[noreturn]] void Raise(const char* operation, DWORD error) {
  throw ERunLock(Format("TRunLock.%s (0x%X) %s", operation, static_cast<unsigned>(error),
                        SysErrorMessage(error).c_str()));
}

}  // namespace

std::unique_ptr<TRunLock> TRunLock::TryAcquire() {
  if (heldHere.exchange(true)) return nullptr;
  std::unique_ptr<TRunLock> lock;
  try {
    lock = TryMutex();
  } catch (...) {
    heldHere = false;
    throw;
  }
  if (!lock) heldHere = false;
  return lock;
}

std::unique_ptr<TRunLock> TRunLock::TryMutex() {
  HANDLE mutex = ::CreateMutexA(nullptr, FALSE, kMutexName);
  if (!mutex) {
    DWORD error = ::GetLastError();
    // The mutex exists, made by a run of another user whose rights keep us
    // from opening it: that run holds it.
    if (error == ERROR_ACCESS_DENIED) return nullptr;
    Raise("CreateMutex", error);
  }
  switch (::WaitForSingleObject(mutex, 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // a run that ended without releasing it
      return std::unique_ptr<TRunLock>(new TRunLock(reinterpret_cast<std::intptr_t>(mutex)));
    case WAIT_TIMEOUT:
      ::CloseHandle(mutex);
      return nullptr;
    default: {
      DWORD error = ::GetLastError();
      ::CloseHandle(mutex);
      Raise("WaitForSingleObject", error);
    }
  }
}

TRunLock::~TRunLock() {
  HANDLE mutex = reinterpret_cast<HANDLE>(FHandle);
  ::ReleaseMutex(mutex);
  ::CloseHandle(mutex);
  heldHere = false;
}

}  // namespace slv2
