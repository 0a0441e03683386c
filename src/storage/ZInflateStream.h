// TZInflateStream: a read-only stream that inflates zlib-format data (RFC 1950)
// read from a source stream as the reader asks for it, holding no more than
// one 64 KiB block of the source in memory.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "storage/Stream.h"
#include "sys/Exception.h"

namespace slv2 {

// zlib's own texts ("incorrect header check", ...), or "Invalid ZStream
// operation!" for an operation the stream does not offer.
SLV2_DECLARE_EXCEPTION(EZInflateError, Exception);

class TZInflateStream : public TStream {
 public:
  // Inflates from the source's current position, after the `length` bytes
  // of `input` that were read from it already; the source stays the
  // caller's and must outlive this stream.
  explicit TZInflateStream(TStream& source, const void* input = nullptr, size_t length = 0);
  ~TZInflateStream() override;
  TZInflateStream(const TZInflateStream&) = delete;
  TZInflateStream& operator=(const TZInflateStream&) = delete;

  // Fewer bytes than asked once the zlib stream has ended or the source has
  // run dry. At the end of the zlib stream the source is moved back over the
  // input it did not need, so it is left just after the compressed data.
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  // Tells the position (offset 0 from the current position); any other move
  // raises, as do Write and SetSize.
  int64_t Seek(int64_t offset, fs::SeekOrigin origin) override;
  void SetSize(int64_t size) override;

  // Whether the zlib stream reached its end, its Adler-32 checksum verified.
  bool Finished() const { return FFinished; }

 private:
  [[noreturn]] static void Invalid();

  TStream& FSource;
  z_stream FZ{};
  std::vector<unsigned char> FBuffer;
  int64_t FPosition = 0;
  bool FFinished = false;
};

}  // namespace slv2
