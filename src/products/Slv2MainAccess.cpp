// The shell's folder tree opened to all users.
#include "log/LogCategory.h"
#include "products/SecurityUtil.h"
#include "products/Slv2MainUpdater.h"
#include "storage/FileUtil.h"
#include "sys/FileLayer.h"
#include "sys/Format.h"
#include "sys/StrUtil.h"
#include "updater/Slv2Cancel.h"

namespace slv2 {

namespace {

constexpr uint32_t kFilesPass = 0;
constexpr uint32_t kFoldersPass = 1;

}  // namespace

void TSlv2MainUpdater::allowSlvFilesForEveryone() {
  const char* self = "allowSlvFilesForEveryone";
  try {
    if (!CheckFolder(self, "shell folder", Slv21Root())) return;
    TSlv2Outcome outcome(TSlv2OutcomeKind::Shell, Slv21Root(),
                         "full control for everyone on the folder tree");
    Effects().SetRights(
        [this] {
          std::string mask = JoinPath(Slv21Root(), "*.*");
          auto callback = [this](const std::string& path, uint32_t pass) {
            cancel::CheckPoint();
            return allowSlvFileForEveryone(path, pass);
          };
          TgmFileUtil::EnumFiles(mask, fs::kAttrAnyFile & ~fs::kAttrDirectory, kFilesPass, callback,
                                 true);
          TgmFileUtil::EnumFiles(mask, fs::kAttrAnyFile, kFoldersPass, callback, true);
          AllowFileForEveryone(Slv21Root(), *FSecurityApi);
          return true;
        },
        std::move(outcome));
    Logger().Debug(Format("%s() succeeded", self));
  } catch (const std::exception& e) {
    LogFailed(self, e);
  }
}

bool TSlv2MainUpdater::allowSlvFileForEveryone(const std::string& path, uint32_t pass) {
  try {
    // A link may lead out of the shell's tree, and opening its target to all
    // users could open anything on the machine.
    uint32_t attributes = fs::GetFileAttributes(path);
    if (attributes != fs::kInvalidFileAttributes && (attributes & fs::kAttrReparsePoint)) {
      return false;
    }
    bool folder = TgmFileUtil::DirectoryExists(path);
    // A single entry's failure shows only in its access list.
    if (pass == kFilesPass ? !folder : folder) AllowFileForEveryone(path, *FSecurityApi);
    return false;
  } catch (const std::exception& e) {
    LogFailed("allowSlvFileForEveryone", e);
    return true;
  }
}

}  // namespace slv2
