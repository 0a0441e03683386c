#include "publish/StoredSize.h"

#include <algorithm>
#include <memory>

#include "patch/DeflateCounter.h"
#include "storage/WinFileStream.h"
#include "storage/gmZLibUtil.h"

namespace slv2::publish {

uint64_t StoredSize(const std::string& file, bool compress, uint64_t limit) {
  TWinFileStream stream(file, fs::kGenericRead, fs::kShareRead, fs::kOpenExisting);
  auto size = static_cast<uint64_t>(stream.Size());
  if (!compress || size <= kZHeaderSize) return std::min(size, limit + 1);
  diff::TDeflateCounter deflated(9);
  constexpr int32_t kBlock = 1 << 20;
  auto buffer = std::make_unique_for_overwrite<uint8_t[]>(kBlock);
  uint64_t packed = 0;
  for (;;) {
    int32_t n = stream.Read(buffer.get(), kBlock);
    if (n < 0) throw EReadError("Stream read error");
    if (n == 0) {
      packed = kZHeaderSize + deflated.Finish();
      break;
    }
    deflated.Put(buffer.get(), static_cast<uint32_t>(n));
    if (kZHeaderSize + deflated.SizeSoFar() > std::min(size, limit))
      return std::min(size, limit + 1);
  }
  return std::min({size, packed, limit + 1});
}

}  // namespace slv2::publish
