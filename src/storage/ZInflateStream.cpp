#include "storage/ZInflateStream.h"

#include <algorithm>
#include <cstring>

namespace slv2 {

namespace {

constexpr size_t kInputBlock = 65536;

[[noreturn]] void ZError(const z_stream& z, int code) {
  throw EZInflateError(z.msg != nullptr ? z.msg : zError(code));
}

}  // namespace

TZInflateStream::TZInflateStream(TStream& source, const void* input, size_t length)
    : FSource(source), FBuffer(std::max(kInputBlock, length)) {
  int code = inflateInit(&FZ);
  if (code != Z_OK) ZError(FZ, code);
  if (length == 0) return;
  std::memcpy(FBuffer.data(), input, length);
  FZ.next_in = FBuffer.data();
  FZ.avail_in = static_cast<uInt>(length);
}

TZInflateStream::~TZInflateStream() {
  inflateEnd(&FZ);
}

int32_t TZInflateStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || FFinished) return 0;
  FZ.next_out = static_cast<Bytef*>(buffer);
  FZ.avail_out = static_cast<uInt>(count);
  while (FZ.avail_out > 0) {
    if (FZ.avail_in == 0) {
      int32_t got = FSource.Read(FBuffer.data(), static_cast<int32_t>(FBuffer.size()));
      if (got < 0) throw EReadError("Stream read error");
      if (got == 0) break;
      FZ.next_in = FBuffer.data();
      FZ.avail_in = static_cast<uInt>(got);
    }
    int code = inflate(&FZ, Z_NO_FLUSH);
    if (code == Z_STREAM_END) {
      FFinished = true;
      if (FZ.avail_in > 0) FSource.Seek(-static_cast<int64_t>(FZ.avail_in), fs::kSeekCurrent);
      FZ.avail_in = 0;
      break;
    }
    if (code != Z_OK && code != Z_BUF_ERROR) ZError(FZ, code);
  }
  auto done = static_cast<int32_t>(count - static_cast<int32_t>(FZ.avail_out));
  FPosition += done;
  return done;
}

int32_t TZInflateStream::Write(const void*, int32_t) {
  Invalid();
}

int64_t TZInflateStream::Seek(int64_t offset, fs::SeekOrigin origin) {
  if (offset != 0 || origin != fs::kSeekCurrent) Invalid();
  return FPosition;
}

void TZInflateStream::SetSize(int64_t) {
  Invalid();
}

void TZInflateStream::Invalid() {
  throw EZInflateError("Invalid ZStream operation!");
}

}  // namespace slv2
