#include "storage/gmCRCUtil.h"

#include <algorithm>

#include "sys/Crc32.h"

namespace slv2 {

uint32_t StreamCRC32(TStream& stream, int64_t start, int64_t end) {
  constexpr int32_t kBlock = 4096;
  uint32_t crc = 0xFFFFFFFFu;
  if (end == 0) end = stream.Size();
  stream.SetPosition(start);
  int64_t count = end - start;
  char buffer[kBlock];
  while (count > 0) {
    int32_t n = stream.Read(buffer, static_cast<int32_t>(std::min<int64_t>(count, kBlock)));
    if (n <= 0) break;
    crc = UpdateCRC32(buffer, crc, static_cast<size_t>(n));
    count -= n;
  }
  return ~crc;
}

}  // namespace slv2
