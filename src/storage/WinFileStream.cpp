#include "storage/WinFileStream.h"

#include <chrono>
#include <thread>

#include "sys/Format.h"
#include "sys/WinError.h"

namespace slv2 {

TWinFileStream::TWinFileStream(const std::string& fileName, uint32_t access, uint32_t share,
                               uint32_t disposition, int attempts, uint32_t delayMs) {
  SLV2_ASSERT(attempts >= 1 && delayMs != 0xFFFFFFFFu, "gmStrmUtil");
  // Only OPEN_ALWAYS needs to know whether the file was there before, for the
  // failure text; the test costs a path resolution, so only it pays for it.
  bool existed = disposition == fs::kOpenAlways &&
                 fs::GetFileAttributes(fileName) != fs::kInvalidFileAttributes;
  for (int attempt = 1;; ++attempt) {
    handle_ = fs::FileHandle::Open(fileName, access, share, disposition);
    if (handle_.Valid() || attempt >= attempts) break;
    uint32_t error = fs::LastError();
    if (error != kErrorAccessDenied && error != kErrorSharingViolation &&
        error != kErrorLockViolation) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
  }
  if (!handle_.Valid()) {
    uint32_t error = fs::LastError();
    bool creating = disposition == fs::kCreateNew || disposition == fs::kCreateAlways ||
                    (disposition == fs::kOpenAlways && !existed);
    throw EFileOpenError(Format(creating ? "Cannot create file %s: %s" : "Cannot open file %s: %s",
                                fileName.c_str(), SysErrorMessage(error).c_str()));
  }
}

}  // namespace slv2
