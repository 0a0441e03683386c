#include <string>

#include "sys/FileLayer.h"
#include "sys/registry/RegScriptFile.h"
#include "sys/registry/RegistryUtil.h"

namespace slv2 {

// No process per script: a product with thousands of scripts would spend
// most of its update starting the registry editor.
bool ImportRegFile(std::string_view fileName) {
  uint32_t attributes = fs::GetFileAttributes(fileName);
  if (attributes == fs::kInvalidFileAttributes || (attributes & fs::kAttrDirectory)) return false;
  return reg::ImportRegScriptFileReporting(std::string(fileName));
}

}  // namespace slv2
