#include "sys/registry/RegistryUtil.h"

#include <memory>
#include <string>

#include "sys/WinError.h"
#include "sys/registry/RegAnsi.h"
#include "sys/registry/RegFunctions.h"

namespace slv2 {
namespace {

std::string Absolute(std::string_view key) {
  return !key.empty() && key.front() == '\\' ? std::string(key) : "\\" + std::string(key);
}

// Gives a registry object back, when it goes, the key it had open.
class KeepOpenKey {
 public:
  explicit KeepOpenKey(TRegistry& registry) : registry_(registry), path_(registry.CurrentPath()) {}
  ~KeepOpenKey() {
    if (path_.empty() || !registry_.OpenKey("\\" + path_, false)) registry_.CloseKey();
  }
  KeepOpenKey(const KeepOpenKey&) = delete;
  KeepOpenKey& operator=(const KeepOpenKey&) = delete;

 private:
  TRegistry& registry_;
  std::string path_;
};

// The walks of whole trees recurse once per level: no tree of the Windows
// registry is deeper than this, and a deeper one (the Linux store takes any
// depth a script gives it) is refused before it can exhaust the stack.
constexpr int kMaxTreeDepth = 512;

void CheckDepth(int depth, std::string_view key) {
  if (depth > kMaxTreeDepth) {
    throw ERegistryError("\"" + std::string(key) + "\" holds keys more than " +
                         std::to_string(kMaxTreeDepth) + " levels deep");
  }
}

bool CopyTree(TRegistry& source, TRegistry& dest, const std::string& sourceKey,
              const std::string& destKey, int depth) {
  if (!source.OpenKeyReadOnly(sourceKey) || !dest.OpenKey(destKey, true)) return false;
  for (const std::string& name : source.GetValueNames()) {
    if (!CopyRegValue(source, dest, name)) return false;
  }
  for (const std::string& name : source.GetKeyNames()) {
    CheckDepth(depth + 1, sourceKey);
    if (!CopyTree(source, dest, sourceKey + "\\" + name, destKey + "\\" + name, depth + 1)) {
      return false;
    }
  }
  return true;
}

bool DeleteTree(reg::HKey root, std::string_view key, int depth) {
  bool subKeysGone = true;
  {
    reg::ScopedKey opened;
    if (reg::OpenKeyA(root, key, reg::kKeyAllAccess, opened.Out()) != kErrorSuccess) return false;
    uint32_t subKeys = 0, values = 0;
    if (reg::QueryInfoKey(opened.Get(), &subKeys, &values) != kErrorSuccess) return false;
    if (subKeys > 0) CheckDepth(depth + 1, key);
    for (uint32_t i = subKeys; i-- > 0 && subKeysGone;) {
      std::string name;
      subKeysGone = reg::EnumKeyA(opened.Get(), i, &name) == kErrorSuccess &&
                    DeleteTree(root, std::string(key) + "\\" + name, depth + 1);
    }
  }
  return subKeysGone && reg::DeleteKeyA(root, key) == kErrorSuccess;
}

// Copies and moves of whole trees reach other processes, and outlast a kill,
// as one change of the registry: a partial tree left by a killed run would be
// taken for the whole one by the next run. What a failing copy wrote before it
// failed stays, as it would without the grouping.
// The value a copy's destination carries until the copy is complete.
constexpr const char* kCopyIncomplete = "slv2update: copy incomplete";

template <class Change>
bool AsOneChange(Change change) {
  reg::Transaction transaction;
  bool grouped = transaction.Begin() == kErrorSuccess;
  bool done = false;
  try {
    done = change();
  } catch (...) {
    if (grouped) transaction.Commit();
    throw;
  }
  return (!grouped || transaction.Commit() == kErrorSuccess) && done;
}

bool CopyKey(reg::HKey sourceRoot, reg::HKey destRoot, std::string_view sourceKey,
             std::string_view destKey) {
  TRegistry source(reg::kKeyRead);
  source.SetRootKey(sourceRoot);
  TRegistry dest(reg::kKeyAllAccess);
  dest.SetRootKey(destRoot);
  return CopyRegKeyTree(source, dest, sourceKey, destKey);
}

}  // namespace

bool CopyRegKey(reg::HKey sourceRoot, reg::HKey destRoot, std::string_view sourceKey,
                std::string_view destKey) {
  // The destination's own key, opened afresh each time (a relative path
  // would be taken below the key open before).
  auto destination = [&](bool create) {
    auto dest = std::make_unique<TRegistry>(reg::kKeyAllAccess);
    dest->SetRootKey(destRoot);
    return dest->OpenKey(destKey, create) ? std::move(dest) : nullptr;
  };
  return AsOneChange([&] {
    TRegistry source(reg::kKeyRead);
    source.SetRootKey(sourceRoot);
    if (!source.OpenKeyReadOnly(sourceKey)) return false;
    if (RegKeyCopyIncomplete(destRoot, destKey) && !DeleteRegKeyTree(destRoot, destKey)) {
      return false;
    }
    std::unique_ptr<TRegistry> dest = destination(true);
    if (!dest) return false;
    dest->WriteString(kCopyIncomplete, "1");
    if (!CopyKey(sourceRoot, destRoot, sourceKey, destKey)) return false;
    dest = destination(false);
    return dest && dest->DeleteValue(kCopyIncomplete);
  });
}

bool RegKeyCopyIncomplete(reg::HKey root, std::string_view key) {
  TRegistry registry(reg::kKeyRead);
  registry.SetRootKey(root);
  return registry.OpenKeyReadOnly(key) && registry.GetDataSize(kCopyIncomplete) >= 0;
}

bool CopyRegKeyTree(TRegistry& source, TRegistry& dest, std::string_view sourceKey,
                    std::string_view destKey) {
  if (&source == &dest) {
    throw EAssertionFailed(
        "Source and destination registry objects cannot be the same (gmRegistryUtil)");
  }
  KeepOpenKey keepSource(source), keepDest(dest);
  // The keys count from the root: the recursion opens them while the parent's
  // key is the open one.
  return CopyTree(source, dest, Absolute(sourceKey), Absolute(destKey), 0);
}

bool CopyRegValue(TRegistry& source, TRegistry& dest, std::string_view name) {
  switch (source.GetDataType(name)) {
    case reg::kRegSz:
      dest.WriteString(name, source.ReadString(name));
      return true;
    case reg::kRegExpandSz:
      dest.WriteExpandString(name, source.ReadString(name));
      return true;
    case reg::kRegDword:
      dest.WriteInteger(name, source.ReadInteger(name));
      return true;
    case reg::kRegBinary:
      dest.WriteBinaryData(name, source.ReadBinaryData(name));
      return true;
    default:
      return false;
  }
}

bool MoveRegKey(reg::HKey sourceRoot, reg::HKey destRoot, std::string_view sourceKey,
                std::string_view destKey) {
  return AsOneChange([&] {
    return CopyKey(sourceRoot, destRoot, sourceKey, destKey) &&
           DeleteRegKeyTree(sourceRoot, sourceKey);
  });
}

bool DeleteRegKeyTree(reg::HKey root, std::string_view key) {
  if (!key.empty() && key.front() == '\\') key.remove_prefix(1);
  return DeleteTree(root, key, 0);
}

}  // namespace slv2
