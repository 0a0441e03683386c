// Fixed values of the compound file format and little-endian field access.
// Sector n of a file starts at byte (n + 1) * sector size; the first sector
// holds the header.
#pragma once

#include <cstdint>

namespace slv2::cfb {

constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Special sector numbers; every value above kMaxRegSect is a marker.
constexpr uint32_t kMaxRegSect = 0xFFFFFFFA;
constexpr uint32_t kDifSect = 0xFFFFFFFC;
constexpr uint32_t kFatSect = 0xFFFFFFFD;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSect = 0xFFFFFFFF;
// An absent directory link.
constexpr uint32_t kNoStream = 0xFFFFFFFF;

constexpr uint32_t kHeaderBytes = 512;
constexpr uint32_t kHeaderDifatSlots = 109;
constexpr uint32_t kDirEntryBytes = 128;
constexpr uint32_t kMiniSectorShift = 6;
constexpr uint32_t kMiniSectorBytes = 64;
// Streams shorter than this live in the mini stream.
constexpr uint32_t kMiniStreamCutoff = 4096;
// Name length in UTF-16 units, without the terminating zero.
constexpr uint32_t kMaxNameLength = 31;
// The sector holding these bytes (the range-lock sector) never holds data.
constexpr uint64_t kRangeLockOffset = 0x7FFFFF00;
constexpr uint64_t kMaxStreamSize = 0xFFFFFFFF;

// Directory entry types.
enum : uint8_t { kTypeUnused = 0, kTypeStorage = 1, kTypeStream = 2, kTypeRoot = 5 };
enum : uint8_t { kRed = 0, kBlack = 1 };

// The number of units of 2^shift bytes that hold `bytes`; sizes come from the
// file and may be as large as 2^64 - 1, so no rounding addition.
inline uint64_t UnitsFor(uint64_t bytes, uint32_t shift) {
  return (bytes >> shift) + ((bytes & ((uint64_t{1} << shift) - 1)) != 0 ? 1 : 0);
}

inline uint16_t Load16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t Load64(const uint8_t* p) {
  return static_cast<uint64_t>(Load32(p)) | static_cast<uint64_t>(Load32(p + 4)) << 32;
}
inline void Store16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Store64(uint8_t* p, uint64_t v) {
  Store32(p, static_cast<uint32_t>(v));
  Store32(p + 4, static_cast<uint32_t>(v >> 32));
}

}  // namespace slv2::cfb
