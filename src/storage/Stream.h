// The runtime's byte-stream model: read, write, seek (from the beginning, the
// current position or the end) and set size, with position and size derived
// from seek; plus the memory and file-handle streams built on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sys/Exception.h"
#include "sys/FileLayer.h"

namespace slv2 {

SLV2_DECLARE_EXCEPTION(EStreamError, Exception);
SLV2_DECLARE_EXCEPTION(EReadError, EStreamError);
SLV2_DECLARE_EXCEPTION(EWriteError, EStreamError);
SLV2_DECLARE_EXCEPTION(EFileOpenError, EStreamError);

class TStream {
 public:
  // The largest block the stream copy moves at a time.
  static constexpr int32_t kCopyBufferSize = 61440;

  virtual ~TStream() = default;
  // Returns the number of bytes read (fewer at the end), or -1 on failure.
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  // Returns the number of bytes written, or -1 on failure.
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  virtual int64_t Seek(int64_t offset, fs::SeekOrigin origin) = 0;
  virtual void SetSize(int64_t size) = 0;
  virtual int64_t Size();

  int64_t Position() { return Seek(0, fs::kSeekCurrent); }
  void SetPosition(int64_t position) { Seek(position, fs::kSeekBegin); }

  // Read or write exactly `count` bytes, else EReadError "Stream read error"
  // or EWriteError "Stream write error".
  void ReadBuffer(void* buffer, int32_t count);
  void WriteBuffer(const void* buffer, int32_t count);

  // Copies `count` bytes from the source's current position, or with count 0
  // the whole source from its beginning, through a buffer of at most
  // kCopyBufferSize bytes. Raises EReadError when the source ends early.
  int64_t CopyFrom(TStream& source, int64_t count);
};

// A stream over memory that it owns.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, fs::SeekOrigin origin) override;
  void SetSize(int64_t size) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }

  const char* Memory() const { return data_.data(); }
  std::string ToString() const { return std::string(data_.data(), data_.size()); }

 private:
  std::vector<char> data_;
  int64_t position_ = 0;
};

// A stream over an open platform file handle, which it owns.
class THandleStream : public TStream {
 public:
  explicit THandleStream(fs::FileHandle handle) : handle_(std::move(handle)) {}
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, fs::SeekOrigin origin) override;
  void SetSize(int64_t size) override;

  fs::FileHandle& Handle() { return handle_; }

 protected:
  THandleStream() = default;
  fs::FileHandle handle_;
};

}  // namespace slv2
