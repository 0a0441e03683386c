// Stream elements come from update storages, which may be damaged or hostile:
// the decoding copy must never crash, never take memory from the header's
// word, and on success hold exactly the size the header states.
#include <cstdlib>

#include "storage/gmZLibUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace slv2;
  TMemoryStream source, destination;
  source.WriteBuffer(data, static_cast<int32_t>(size));
  bool ok = Decompress(source, destination, size % 2 == 0);
  TgmZHeader header;
  if (ok && ReadHeader(source, &header) && destination.Size() != header.UncompressedSize()) {
    std::abort();
  }
  if (ok && !ReadHeader(source, &header) && destination.Size() != static_cast<int64_t>(size)) {
    std::abort();
  }
  return 0;
}
