// The machine-wide lock of an update run: two runs at once would work on the
// same installed files and registry keys. Held by the object that took it and
// given up when the object goes; the system gives it up too when the process
// ends in any way, so a killed run never blocks the next one.
// Linux: an exclusive lock on the file beside the registry database, its
// name with ".lock", per machine as the registry is. Windows: the named mutex
// "Global\slv2update.run", seen from every session.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sys/Exception.h"

namespace slv2 {

SLV2_DECLARE_EXCEPTION(ERunLock, Exception);

class TRunLock {
 public:
  // Tries once, without waiting: the lock, or nullptr while another process
  // holds it. Raises ERunLock when it cannot be tried at all.
  static std::unique_ptr<TRunLock> TryAcquire();
  ~TRunLock();
  TRunLock(const TRunLock&) = delete;
  TRunLock& operator=(const TRunLock&) = delete;

 private:
  explicit TRunLock(std::intptr_t handle) : FHandle(handle) {}
#ifdef _WIN32
  static std::unique_ptr<TRunLock> TryMutex();
#endif
  std::intptr_t FHandle;  // the open lock file or the mutex
};

}  // namespace slv2
