#include "sys/Crc32.h"

#include <zlib.h>

#include <algorithm>

namespace slv2 {

uint32_t UpdateCRC32(const void* buffer, uint32_t crc, size_t length) {
  // zlib's crc32() inverts the register on entry and on exit; undo both so that
  // the raw register travels between calls.
  uLong value = ~crc & 0xFFFFFFFFu;
  auto* p = static_cast<const Bytef*>(buffer);
  while (length > 0) {
    auto chunk = static_cast<uInt>(std::min<size_t>(length, 1u << 30));
    value = crc32(value, p, chunk);
    p += chunk;
    length -= chunk;
  }
  return ~static_cast<uint32_t>(value);
}

uint32_t CalcCRC32(const void* buffer, size_t length) {
  return ~UpdateCRC32(buffer, 0xFFFFFFFFu, length);
}

}  // namespace slv2
