#include "storage/Stream.h"

#include <algorithm>
#include <cstring>

#include "sys/WinError.h"

namespace slv2 {

int64_t TStream::Size() {
  int64_t position = Seek(0, fs::kSeekCurrent);
  int64_t size = Seek(0, fs::kSeekEnd);
  Seek(position, fs::kSeekBegin);
  return size;
}

// A stream over a file reports why it failed in the thread's last error;
// cleared first, so that a stream that does not set it carries no stale one.
void TStream::ReadBuffer(void* buffer, int32_t count) {
  if (count == 0) return;
  fs::SetLastError(kErrorSuccess);
  if (Read(buffer, count) != count) throw EReadError("Stream read error", fs::LastError());
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
  if (count == 0) return;
  fs::SetLastError(kErrorSuccess);
  if (Write(buffer, count) != count) throw EWriteError("Stream write error", fs::LastError());
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  int64_t result = count;
  std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(count, kCopyBufferSize)));
  while (count > 0) {
    auto n = static_cast<int32_t>(std::min<int64_t>(count, kCopyBufferSize));
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    count -= n;
  }
  return result;
}

int32_t TMemoryStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || position_ >= Size()) return 0;
  auto n = static_cast<int32_t>(std::min<int64_t>(count, Size() - position_));
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  int64_t end = position_ + count;
  if (end > Size()) data_.resize(static_cast<size_t>(end));
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, fs::SeekOrigin origin) {
  int64_t base = origin == fs::kSeekBegin ? 0 : origin == fs::kSeekCurrent ? position_ : Size();
  position_ = std::max<int64_t>(0, base + offset);
  return position_;
}

void TMemoryStream::SetSize(int64_t size) {
  data_.resize(static_cast<size_t>(std::max<int64_t>(0, size)));
  position_ = std::min(position_, Size());
}

int32_t THandleStream::Read(void* buffer, int32_t count) {
  size_t done = 0;
  if (count <= 0) return 0;
  if (!handle_.Read(buffer, static_cast<size_t>(count), &done)) return -1;
  return static_cast<int32_t>(done);
}

int32_t THandleStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  return handle_.Write(buffer, static_cast<size_t>(count)) ? count : -1;
}

int64_t THandleStream::Seek(int64_t offset, fs::SeekOrigin origin) {
  int64_t position = -1;
  handle_.Seek(offset, origin, &position);
  return position;
}

void THandleStream::SetSize(int64_t size) {
  Seek(size, fs::kSeekBegin);
  if (!handle_.SetEndOfFile()) {
    throw EStreamError("Stream size error: " + SysErrorMessage(fs::LastError()));
  }
}

}  // namespace slv2
