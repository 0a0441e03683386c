#include <string>

#include "sys/FileLayer.h"
#include "sys/Process.h"
#include "sys/registry/RegistryUtil.h"

namespace slv2 {

bool ImportRegFile(std::string_view fileName) {
  uint32_t attributes = fs::GetFileAttributes(fileName);
  if (attributes == fs::kInvalidFileAttributes || (attributes & fs::kAttrDirectory)) return false;
  std::string command = "regedit.exe /s \"" + std::string(fileName) + "\"";
  return ExecAndWait(command, kSwHide) == 0;
}

}  // namespace slv2
