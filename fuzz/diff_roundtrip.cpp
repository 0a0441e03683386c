// Input: a chunk size byte c (chunks of 16 * (c + 1) bytes, small so that
// little data makes many blocks), a 16-bit little-endian length n, n bytes of
// old file, then the new file. Both alignments must rebuild the new file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "patch/DiffDecoder.h"
#include "patch/DiffEncoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  uint32_t chunk = 16u * (data[0] + 1u);
  size_t oldLength = std::min<size_t>(data[1] | data[2] << 8, size - 3);
  const uint8_t* oldData = data + 3;
  const uint8_t* newData = oldData + oldLength;
  size_t newLength = size - 3 - oldLength;
  for (slv2::TDiffAlignment alignment :
       {slv2::TDiffAlignment::kAdaptive, slv2::TDiffAlignment::kFixed}) {
    slv2::TMemoryStream oldStream, newStream, diff, rebuilt;
    oldStream.WriteBuffer(oldData, int32_t(oldLength));
    oldStream.SetPosition(0);
    newStream.WriteBuffer(newData, int32_t(newLength));
    newStream.SetPosition(0);
    slv2::CreateDiffStream(oldStream, newStream, diff, {alignment, chunk});
    diff.SetPosition(0);
    oldStream.SetPosition(0);
    slv2::ApplyDiffStream(diff, oldStream, rebuilt);
    if (size_t(rebuilt.Size()) != newLength ||
        (newLength > 0 && std::memcmp(rebuilt.Memory(), newData, newLength) != 0)) {
      __builtin_trap();
    }
  }
  return 0;
}
