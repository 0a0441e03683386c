#include "storage/cfb/LockBytes.h"

#include <algorithm>
#include <cstring>

#include "storage/cfb/Error.h"
#include "sys/WinError.h"

namespace slv2::cfb {

stg::HRESULT HResultFromError(uint32_t error) {
  switch (error) {
    case kErrorAlreadyExists:
      return stg::kStgEFileAlreadyExists;
    case kErrorHandleDiskFull:
      return stg::kStgEMediumFull;
    case kErrorNotEnoughMemory:
      return stg::kStgEInsufficientMemory;
    default:
      // The storage codes are the file-system codes in the storage facility
      // (STG_E_FILENOTFOUND is 0x80030002 for ERROR_FILE_NOT_FOUND 2).
      return error != 0 && error < 0x10000 ? stg::Code(0x80030000 | error) : stg::kStgEUnknown;
  }
}

namespace {
[[noreturn]] void FailLastError(const char* what) {
  Fail(HResultFromError(fs::LastError()), what);
}
}  // namespace

FileLockBytes::FileLockBytes(std::string_view path, uint32_t access, uint32_t share,
                             uint32_t disposition)
    : file_(fs::FileHandle::Open(path, access, share, disposition)) {
  if (!file_.Valid()) FailLastError("cannot open the file");
}

size_t FileLockBytes::ReadAt(uint64_t offset, void* buffer, size_t count) {
  size_t done = 0;
  if (!file_.ReadAt(offset, buffer, count, &done)) Fail(stg::kStgEReadFault, "file read failed");
  return done;
}

void FileLockBytes::WriteAt(uint64_t offset, const void* buffer, size_t count) {
  if (!file_.WriteAt(offset, buffer, count)) {
    uint32_t error = fs::LastError();
    Fail(error == kErrorDiskFull || error == kErrorHandleDiskFull ? stg::kStgEMediumFull
                                                                  : stg::kStgEWriteFault,
         "file write failed");
  }
}

uint64_t FileLockBytes::Size() {
  int64_t size = file_.Size();
  if (size < 0) Fail(stg::kStgEReadFault, "file size unknown");
  return static_cast<uint64_t>(size);
}

void FileLockBytes::SetSize(uint64_t size) {
  if (!file_.Resize(size)) Fail(stg::kStgEMediumFull, "file resize failed");
}

void FileLockBytes::Flush() {
  if (!file_.Flush()) Fail(stg::kStgEWriteFault, "file flush failed");
}

size_t MemoryLockBytes::ReadAt(uint64_t offset, void* buffer, size_t count) {
  if (offset >= data_.size()) return 0;
  size_t done = std::min<uint64_t>(count, data_.size() - offset);
  std::memcpy(buffer, data_.data() + offset, done);
  return done;
}

void MemoryLockBytes::WriteAt(uint64_t offset, const void* buffer, size_t count) {
  if (offset + count > data_.size()) SetSize(offset + count);
  std::memcpy(data_.data() + offset, buffer, count);
}

void MemoryLockBytes::SetSize(uint64_t size) {
  if (size > data_.max_size()) Fail(stg::kStgEMediumFull, "memory exhausted");
  data_.resize(size);
}

}  // namespace slv2::cfb
