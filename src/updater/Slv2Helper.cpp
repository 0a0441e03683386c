#include "storage/FileUtil.h"
#include "sys/StrUtil.h"
#include "sys/registry/RegFunctions.h"
#include "sys/registry/RegistryUtil.h"
#include "updater/Slv2Updater.h"

namespace slv2 {

namespace {

constexpr const char* kFamilyKey21 = "\\Software\\Zarvik\\Solvane 2.1";
constexpr const char* kFamilyKey20 = "\\Software\\Zarvik\\Solvane";

// A drive path, a network path or a POSIX path: not relative to anything.
bool IsFullPath(std::string_view path) {
  bool drive = path.size() >= 2 && path[1] == ':' &&
               ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  bool network = path.size() >= 2 && (path[0] == '\\' || path[0] == '/') &&
                 (path[1] == '\\' || path[1] == '/');
  return drive || network || IsPosixFormPath(path);
}

std::string SubKey(const char* family, std::string_view name) {
  return std::string(family) + "\\" + std::string(name);
}

}  // namespace

bool TSlv2Helper::IsFamilyInstalled() {
  return RegKeyExists(reg::kHkeyLocalMachine, kFamilyKey21) ||
         RegKeyExists(reg::kHkeyCurrentUser, kFamilyKey20);
}

bool TSlv2Helper::FindFamilyKey(reg::HKey& root, std::string& key) {
  // A machine-wide key whose copy from the per-user one a kill cut short is
  // not the family's yet: the per-user key still is, until the shell's next
  // run copies it again.
  if (RegKeyExists(reg::kHkeyLocalMachine, kFamilyKey21) &&
      !RegKeyCopyIncomplete(reg::kHkeyLocalMachine, kFamilyKey21)) {
    root = reg::kHkeyLocalMachine;
    key = kFamilyKey21;
    return true;
  }
  if (RegKeyExists(reg::kHkeyCurrentUser, kFamilyKey20)) {
    root = reg::kHkeyCurrentUser;
    key = kFamilyKey20;
    return true;
  }
  return false;
}

bool TSlv2Helper::FindProductKey(std::string_view productId, reg::HKey& root, std::string& key) {
  std::string machineKey = SubKey(kFamilyKey21, productId);
  if (!RegKeyCopyIncomplete(reg::kHkeyLocalMachine, kFamilyKey21) &&
      RegKeyExists(reg::kHkeyLocalMachine, machineKey)) {
    root = reg::kHkeyLocalMachine;
    key = machineKey;
    return true;
  }
  std::string userKey = SubKey(kFamilyKey20, productId);
  if (RegKeyExists(reg::kHkeyCurrentUser, userKey)) {
    root = reg::kHkeyCurrentUser;
    key = userKey;
    return true;
  }
  return false;
}

bool TSlv2Helper::IsProductInstalled(std::string_view productId) {
  reg::HKey root;
  std::string key;
  return IsFamilyInstalled() && FindProductKey(productId, root, key);
}

std::string TSlv2Helper::GetSlv21Root() {
  reg::HKey root;
  std::string key;
  if (!FindFamilyKey(root, key)) return std::string();
  return RegReadStringDef(root, key + "\\main", "root", "");
}

std::string TSlv2Helper::GetProductRoot(std::string_view productId) {
  std::string shell = GetSlv21Root();
  if (shell.empty()) return std::string();
  reg::HKey root;
  std::string key;
  if (!FindProductKey(productId, root, key)) return std::string();
  std::string relative = RegReadStringDef(root, key, "root", "");
  if (relative.empty()) return std::string();
  // The shell's own key holds its full folder; joined to itself it would
  // name a folder that does not exist.
  if (IsFullPath(relative)) return TgmFileUtil::NormalizePath(relative);
  return TgmFileUtil::CombinePath(shell, relative);
}

}  // namespace slv2
