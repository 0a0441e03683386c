// The bytes a compound file lives in: a file on disk, or memory (tests and
// fuzzing). Failures raise CfbError with the HRESULT the platform would give.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "storage/StgApi.h"
#include "sys/FileLayer.h"

namespace slv2::cfb {

class LockBytes {
 public:
  virtual ~LockBytes() = default;
  // Returns the bytes read, fewer at the end of the data.
  virtual size_t ReadAt(uint64_t offset, void* buffer, size_t count) = 0;
  virtual void WriteAt(uint64_t offset, const void* buffer, size_t count) = 0;
  virtual uint64_t Size() = 0;
  virtual void SetSize(uint64_t size) = 0;
  // Makes everything written so far durable.
  virtual void Flush() = 0;
};

// The HRESULT for a platform error code (sys/WinError.h), as the platform's
// structured storage reports file failures.
stg::HRESULT HResultFromError(uint32_t error);

class FileLockBytes : public LockBytes {
 public:
  // Opens with the file layer's access, share and disposition values; raises
  // CfbError on failure (STG_E_SHAREVIOLATION on a share conflict).
  FileLockBytes(std::string_view path, uint32_t access, uint32_t share, uint32_t disposition);
  size_t ReadAt(uint64_t offset, void* buffer, size_t count) override;
  void WriteAt(uint64_t offset, const void* buffer, size_t count) override;
  uint64_t Size() override;
  void SetSize(uint64_t size) override;
  void Flush() override;

 private:
  fs::FileHandle file_;
};

class MemoryLockBytes : public LockBytes {
 public:
  explicit MemoryLockBytes(std::string data = {}) : data_(std::move(data)) {}
  size_t ReadAt(uint64_t offset, void* buffer, size_t count) override;
  void WriteAt(uint64_t offset, const void* buffer, size_t count) override;
  uint64_t Size() override { return data_.size(); }
  void SetSize(uint64_t size) override;
  void Flush() override {}
  const std::string& Data() const { return data_; }

 private:
  std::string data_;
};

}  // namespace slv2::cfb
