// Stream elements come from update storages, which may be damaged or hostile:
// the decoding copy must never crash, never take memory from the header's
// word, and on success hold exactly the size the header states, its CRC matching.
#include <cstdlib>
#include <string>

#include "storage/gmZLibUtil.h"
#include "sys/Crc32.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace slv2;
  TMemoryStream source, destination;
  source.WriteBuffer(data, static_cast<int32_t>(size));
  bool ok = Decompress(source, destination);
  TgmZHeader header;
  if (ok && ReadHeader(source, &header)) {
    std::string out = destination.ToString();
    if (out.size() != header.UncompressedSize() ||
        CalcCRC32(out.data(), out.size()) != header.Crc())
      std::abort();
  }
  if (ok && !ReadHeader(source, &header) && destination.Size() != static_cast<int64_t>(size)) {
    std::abort();
  }
  return 0;
}
