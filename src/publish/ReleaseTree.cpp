#include "publish/ReleaseTree.h"

#include <cstring>
#include <memory>

#include "publish/PublishError.h"
#include "storage/FileUtil.h"
#include "storage/WinFileStream.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"

namespace slv2::publish {
namespace {

void Walk(const std::string& folder, const std::string& prefix, TFileTree& tree) {
  fs::DirListing listing(folder + "/*");
  fs::FindData entry;
  while (listing.Next(&entry)) {
    if (entry.name == "." || entry.name == "..") continue;
    std::string path = prefix + entry.name;
    std::string full = folder + "/" + entry.name;
    RefuseLink(entry, full);
    if (entry.attributes & fs::kAttrDirectory) {
      Walk(full, path + "/", tree);
      continue;
    }
    auto [at, added] = tree.try_emplace(FileKey(path), TReleaseFile{path, full, entry.size});
    if (!added) throw EPublishError("Names differ only in case: " + full);
  }
  if (listing.Error() != kErrorNoMoreFiles && listing.Error() != kErrorFileNotFound &&
      !(prefix.empty() && listing.Error() == kErrorPathNotFound)) {
    throw EPublishError("Cannot list " + folder + ": " + SysErrorMessage(listing.Error()));
  }
}

}  // namespace

void RefuseLink(const fs::FindData& entry, const std::string& full) {
  if (!(entry.attributes & fs::kAttrReparsePoint)) return;
  throw EPublishError(
      ((entry.attributes & fs::kAttrDirectory) ? "Link to a folder: " : "Link to a file: ") + full);
}

std::string FileKey(const std::string& path) {
  return AnsiUpperCase(path);
}

TFileTree ReadFileTree(const std::string& folder) {
  TFileTree tree;
  Walk(TgmFileUtil::ExcludeTrailingDelimiters(folder), "", tree);
  return tree;
}

TRelease ReadRelease(const std::string& folder) {
  std::string root = TgmFileUtil::ExcludeTrailingDelimiters(folder);
  if (!TgmFileUtil::DirectoryExists(root)) throw EPublishError("Not a folder: " + folder);
  fs::DirListing listing(root + "/*");
  fs::FindData entry;
  while (listing.Next(&entry)) {
    if (entry.name == "." || entry.name == "..") continue;
    bool part = (entry.attributes & fs::kAttrDirectory) &&
                (AnsiSameText(entry.name, kPartNames[kProductPart]) ||
                 AnsiSameText(entry.name, kPartNames[kShellPart]));
    if (!part) {
      throw EPublishError("A release holds only the folders product and solvane: " + root + "/" +
                          entry.name);
    }
  }
  TRelease release;
  for (int part : {kProductPart, kShellPart})
    release.parts[part] = ReadFileTree(root + "/" + kPartNames[part]);
  return release;
}

bool SameContent(const std::string& a, const std::string& b) {
  TWinFileStream first(a, fs::kGenericRead, fs::kShareRead, fs::kOpenExisting);
  TWinFileStream second(b, fs::kGenericRead, fs::kShareRead, fs::kOpenExisting);
  if (first.Size() != second.Size()) return false;
  constexpr int32_t kBlock = 1 << 20;
  auto x = std::make_unique_for_overwrite<char[]>(kBlock);
  auto y = std::make_unique_for_overwrite<char[]>(kBlock);
  for (;;) {
    int32_t n = first.Read(x.get(), kBlock);
    if (n < 0 || second.Read(y.get(), n) != n) throw EPublishError("Cannot read " + a + " or " + b);
    if (std::memcmp(x.get(), y.get(), size_t(n)) != 0) return false;
    if (n < kBlock) return true;
  }
}

}  // namespace slv2::publish
