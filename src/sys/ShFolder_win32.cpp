// Windows twin of the special folders: SHGetFolderPathA.
#include <shlobj.h>

#include "sys/ShFolder.h"
#include "sys/WindowsApi.h"

namespace slv2 {

std::string GetSpecialFolderPath(int csidl, bool create) {
  char path[MAX_PATH] = {};
  int folder = create ? csidl | kCsidlFlagCreate : csidl & ~kCsidlFlagCreate;
  if (FAILED(::SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path)) &&
      FAILED(::SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_DEFAULT, path))) {
    return std::string();
  }
  return path;
}

}  // namespace slv2
