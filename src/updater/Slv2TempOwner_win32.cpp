#include "sys/FileLayer.h"
#include "updater/Slv2TempOwner.h"

namespace slv2 {

bool MadeByRunningUser(const std::string& file) {
  uint32_t attributes = fs::GetFileAttributes(file);
  return attributes != fs::kInvalidFileAttributes &&
         !(attributes & (fs::kAttrDirectory | fs::kAttrReparsePoint));
}

}  // namespace slv2
