// Input: a 16-bit little-endian length n, n bytes of old file (as many as
// there are), then the difference. The decoder must either rebuild a target or
// fail with the library's own exceptions, never touching memory it does not
// own.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "patch/DiffDecoder.h"

namespace {

// Counts what the decoder writes instead of keeping it.
class NullStream : public slv2::TStream {
 public:
  int32_t Read(void*, int32_t) override { return -1; }
  int32_t Write(const void*, int32_t count) override { return count; }
  int64_t Seek(int64_t, slv2::fs::SeekOrigin) override { __builtin_trap(); }
  void SetSize(int64_t) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t oldLength = std::min<size_t>(data[0] | data[1] << 8, size - 2);
  slv2::TMemoryStream source, diff;
  source.WriteBuffer(data + 2, int32_t(oldLength));
  source.SetPosition(0);
  diff.WriteBuffer(data + 2 + oldLength, int32_t(size - 2 - oldLength));
  diff.SetPosition(0);
  NullStream target;
  try {
    slv2::ApplyDiffStream(diff, source, target, [](int32_t delta) {
      if (delta < 0) __builtin_trap();
    });
  } catch (const slv2::Exception&) {
  }
  return 0;
}
