// Small helpers of the encoder's match finders: the length of the common
// prefix of two byte ranges, eight bytes at a time (the inner loop of every
// match the encoder extends), and the size of a hash table for a number of
// keys.
#pragma once

#include <cstdint>
#include <cstring>

namespace slv2::diff {

inline uint32_t CommonLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
  uint32_t n = 0;
  while (n + 8 <= limit) {
    uint64_t x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) return n + static_cast<uint32_t>(__builtin_ctzll(x ^ y) / 8);
    n += 8;
  }
  while (n < limit && a[n] == b[n])
    ++n;
  return n;
}

// Bits of a hash table with about two slots per key, within [10, 19].
inline int TableBits(uint32_t keys) {
  int bits = 10;
  while (bits < 19 && (uint32_t(1) << bits) < 2 * uint64_t(keys))
    ++bits;
  return bits;
}

}  // namespace slv2::diff
