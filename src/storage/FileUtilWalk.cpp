// Tree walks: enumeration by mask, folder copies and tree deletion. None of
// them follows a symbolic link: a linked folder may lie outside the tree (or
// contain it), and the walks must neither leave the tree nor loop.
#include "storage/FileUtil.h"
#include "storage/FilteredListing.h"
#include "sys/FileLayer.h"
#include "sys/StrUtil.h"
#include "sys/WinError.h"

namespace slv2 {
namespace {

char DelimiterFor(std::string_view folder) {
  return IsPosixFormPath(folder) ? '/' : '\\';
}

bool IsLink(const fs::FindData& entry) {
  return entry.attributes & fs::kAttrReparsePoint;
}

bool IsSubFolder(const fs::FindData& entry) {
  return (entry.attributes & fs::kAttrDirectory) && !TFilteredListing::IsDotEntry(entry) &&
         !IsLink(entry);
}

}  // namespace

int TgmFileUtil::EnumFiles(std::string_view maskPath, uint32_t attrFilter, uint32_t userValue,
                           const TEnumFilesCallback& callback, bool recursive) {
  std::string folder = ExtractFilePath(maskPath);
  std::string pattern = ExtractFileName(maskPath, true);
  int count = 0;
  fs::FindData entry;
  TFilteredListing matches(maskPath, attrFilter);
  while (matches.Next(&entry)) {
    ++count;
    if (TFilteredListing::IsDotEntry(entry)) continue;
    if (callback(folder + entry.name, userValue)) break;
  }
  if (recursive) {
    TFilteredListing folders(folder + "*.*", fs::kAttrAnyFile);
    while (folders.Next(&entry)) {
      if (!IsSubFolder(entry)) continue;
      count += EnumFiles(folder + entry.name + DelimiterFor(folder) + pattern, attrFilter,
                         userValue, callback, true);
    }
  }
  return count;
}

bool TEnumFilesCopyHandler::CopyFileCallback(const std::string& fileName, uint32_t) {
  std::string relative = sourceFolder_.empty() ? TgmFileUtil::ExtractFileName(fileName, true)
                                               : fileName.substr(sourceFolder_.size());
  TgmFileUtil::CopyFile(fileName, JoinPath(destFolder_, relative), false);
  return false;
}

int TgmFileUtil::CopyFiles(std::string_view sourceFolder, std::string_view destFolder,
                           bool recursive) {
  TEnumFilesCopyHandler handler{std::string(destFolder), std::string(sourceFolder)};
  constexpr uint32_t kFilesOnly = fs::kAttrAnyFile & ~fs::kAttrDirectory;
  return EnumFiles(
      JoinPath(sourceFolder, "*.*"), kFilesOnly, 0,
      [&handler](const std::string& name, uint32_t user) {
        return handler.CopyFileCallback(name, user);
      },
      recursive);
}

bool TgmFileUtil::DeleteTree(std::string_view folder) {
  uint32_t attributes = fs::GetFileAttributes(folder);
  if (attributes == fs::kInvalidFileAttributes || !(attributes & fs::kAttrDirectory)) {
    return false;
  }
  if (attributes & fs::kAttrReparsePoint) return fs::RemoveDirectory(folder);
  // Windows deletes entries of a read-only folder; Linux needs the folder
  // writable for that.
  if (attributes & fs::kAttrReadOnly) fs::SetFileAttributes(folder, fs::kAttrNormal);

  std::string base = IncludeTrailingDelimiter(folder, '\\');
  bool result = true;
  fs::FindData entry;
  TFilteredListing listing(base + "*.*", fs::kAttrAnyFile);
  while (listing.Next(&entry)) {
    if (TFilteredListing::IsDotEntry(entry) || (entry.attributes & fs::kAttrVolumeId)) continue;
    std::string path = base + entry.name;
    bool isFolder = entry.attributes & fs::kAttrDirectory;
    bool deleted;
    if (IsLink(entry)) {
      deleted = isFolder ? fs::RemoveDirectory(path) : fs::DeleteFile(path);
    } else if (isFolder) {
      deleted = DeleteTree(path);
    } else {
      if (entry.attributes & fs::kAttrReadOnly) fs::SetFileAttributes(path, fs::kAttrNormal);
      deleted = fs::DeleteFile(path);
    }
    if (!deleted) result = false;
  }
  if (!result || listing.Error() != kErrorNoMoreFiles) return result;
  if (folder.size() == 2 && folder[1] == ':') return true;  // a drive stays
  fs::SetFileAttributes(folder, fs::kAttrNormal);
  return fs::RemoveDirectory(folder);
}

}  // namespace slv2
