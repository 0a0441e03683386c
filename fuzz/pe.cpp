// The PE version reader on arbitrary bytes: it must never read outside the
// input, loop, or crash, and a root value it returns lies inside the resource.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sys/version/PeReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  slv2::pe::MemorySource source(bytes);
  std::string resource;
  if (slv2::pe::FindVersionResource(source, &resource)) {
    if (resource.size() > 65536) std::abort();
    std::string_view value;
    if (slv2::pe::VersionRootValue(resource, &value) &&
        (value.data() < resource.data() ||
         value.data() + value.size() > resource.data() + resource.size())) {
      std::abort();
    }
  }
  // The version block parser on its own, too.
  std::string_view value;
  slv2::pe::VersionRootValue(bytes, &value);
  return 0;
}
