// Builders for hand-made difference streams and helpers shared by the patch
// tests, and what every one of them includes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "TestSupport.h"
#include "patch/DiffDecoder.h"
#include "storage/Stream.h"

namespace slv2::test {

// One copy command as it is stored: copy length, 1-based source and target
// positions.
struct Cmd {
  uint16_t length;
  uint32_t source;
  uint32_t target;
};

// Appends blocks to a difference stream under construction.
class DiffText {
 public:
  DiffText& U32(uint32_t value);
  DiffText& Bytes(std::string_view bytes);
  // A stored block with its correct CRC, consuming `skip` source bytes.
  DiffText& Stored(std::string_view data, uint32_t skip = 0);
  // A delta block over `sourceChunk` whose target CRC is that of `rebuilt`.
  DiffText& Delta(std::string_view sourceChunk, std::string_view rebuilt, std::string_view literals,
                  std::initializer_list<Cmd> commands);
  DiffText& End();
  const std::string& Str() const { return text_; }

 private:
  std::string text_;
};

std::string Commands(std::initializer_list<Cmd> commands);
uint32_t Crc(std::string_view bytes);

// A memory stream filled with `content` and positioned at 0.
class TextStream : public TMemoryStream {
 public:
  explicit TextStream(std::string_view content = {});
};

// A stream that refuses to be sought, to prove strictly forward access.
class ForwardOnlyStream : public TMemoryStream {
 public:
  explicit ForwardOnlyStream(std::string_view content = {});
  int64_t Seek(int64_t offset, fs::SeekOrigin origin) override;
};

// Pseudo-random bytes, the same for the same seed.
std::string RandomBytes(size_t size, uint32_t seed);

}  // namespace slv2::test
