// The length of the common prefix of two byte ranges, eight bytes at a time:
// the inner loop of every match the encoder extends.
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

}  // namespace slv2::diff
