// The layout of a difference stream, shared by its decoder and its encoder: a
// sequence of blocks, each consuming a chunk of the old file, read until an
// end block. All integers are little-endian.
//
//   block:   source length (32) | kind (8) | stored or delta body
//   stored:  data length (32) | data CRC (32) | data        (length 0: end block, no CRC)
//   delta:   target CRC (32) | source CRC (32) | literal length (32) |
//            command length (32) | literal data | commands
//   command: copy length (16) | source position (32) | target position (32),
//            positions 1-based within the source and the target chunk; literal
//            bytes fill any gap before the target position, and a target
//            position before the chunk's current end moves that end and the
//            literal cursor back by the difference
#pragma once

#include <cstdint>

namespace slv2::diff {

// Every chunk, literal section and command section fits a work buffer of this
// size.
constexpr uint32_t kChunkSize = 0x200000;
constexpr uint32_t kCommandSize = 10;
constexpr uint32_t kMaxCopyLength = 0xFFFF;

enum BlockKind : uint8_t { kStoredBlock = 0, kDeltaBlock = 1 };

// Sizes of the fixed fields in front of a block's data.
constexpr uint32_t kStoredHeaderSize = 4 + 1 + 4 + 4;
constexpr uint32_t kDeltaHeaderSize = 4 + 1 + 4 + 4 + 4 + 4;
constexpr uint32_t kEndBlockSize = 4 + 1 + 4;

inline uint32_t GetU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t GetU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline void PutU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace slv2::diff
