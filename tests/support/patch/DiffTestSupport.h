// Hand-made difference streams and the streams the patch tests feed the
// decoder and encoder, and what every one of them includes.
#pragma once

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "patch/DiffDecoder.h"
#include "storage/Stream.h"
#include "sys/Crc32.h"

namespace slv2::test {

// One copy command as it is stored: copy length, 1-based source and target
// positions.
struct Cmd {
  uint16_t length;
  uint32_t source;
  uint32_t target;
};

// The pieces of a difference, to be joined with +: a little-endian field,
// a command table, a stored block with its correct CRC consuming `skip`
// source bytes, a delta block over `sourceChunk` whose target CRC is that of
// `rebuilt`, and the end block.
std::string U32(uint32_t value);
std::string Commands(const std::vector<Cmd>& commands);
std::string Stored(std::string_view data, uint32_t skip = 0);
std::string Delta(std::string_view sourceChunk, std::string_view rebuilt, std::string_view literals,
                  const std::vector<Cmd>& commands);
inline const std::string kEndBlock(9, '\0');
inline uint32_t Crc(std::string_view bytes) {
  return CalcCRC32(bytes.data(), bytes.size());
}

// A memory stream filled with `content` and positioned at 0.
class TextStream : public TMemoryStream {
 public:
  explicit TextStream(std::string_view content = {});
};

// A stream that refuses to be sought, to prove strictly forward access.
class ForwardOnlyStream : public TextStream {
 public:
  using TextStream::TextStream;
  int64_t Seek(int64_t offset, fs::SeekOrigin origin) override;
};

// Pseudo-random bytes, the same for the same seed.
std::string RandomBytes(size_t size, uint32_t seed);

}  // namespace slv2::test
