#include "products/SecurityUtil.h"
#include "products/TreeRights.h"
#include "storage/FileUtil.h"
#include "sys/FileLayer.h"
#include "sys/Format.h"
#include "sys/StrUtil.h"
#include "sys/WinError.h"

namespace slv2 {
namespace {

constexpr uint32_t kFilesPass = 0;
constexpr uint32_t kFoldersPass = 1;

}  // namespace

bool OpenTreeToEveryone(const std::string& root, security::SecurityApi& api,
                        const TreeRightsEvents& events) {
  // Only nothing at all at the root's path is nothing to do.
  uint32_t rootAttributes = fs::GetFileAttributes(root);
  uint32_t error = rootAttributes == fs::kInvalidFileAttributes ? fs::LastError()
                   : (rootAttributes & fs::kAttrDirectory)      ? kErrorSuccess
                                                                : kErrorDirectory;
  if (error == kErrorFileNotFound || error == kErrorPathNotFound) return true;
  auto refused = [&](const std::string& path, const std::string& why) {
    if (events.failure)
      events.failure(Format("\"%s\" not opened to all users: %s", path.c_str(), why.c_str()));
    return false;
  };
  if (error != kErrorSuccess) return refused(root, SysErrorMessage(error));
  auto openToAll = [&](const std::string& path) {
    std::string why;
    return AllowFileForEveryone(path, api, &why) || refused(path, why);
  };
  auto callback = [&](const std::string& path, uint32_t pass) {
    if (events.check) events.check();
    // A junction or link may lead out of the tree, and opening its target
    // to all users could open anything on the machine.
    uint32_t attributes = fs::GetFileAttributes(path);
    if (attributes != fs::kInvalidFileAttributes && (attributes & fs::kAttrReparsePoint)) {
      return false;
    }
    bool folder = TgmFileUtil::DirectoryExists(path);
    if (pass == kFilesPass ? !folder : folder) openToAll(path);
    return false;
  };
  std::string mask = JoinPath(root, "*.*");
  TgmFileUtil::EnumFiles(mask, fs::kAttrAnyFile & ~fs::kAttrDirectory, kFilesPass, callback, true);
  TgmFileUtil::EnumFiles(mask, fs::kAttrAnyFile, kFoldersPass, callback, true);
  return openToAll(root);
}

}  // namespace slv2
