// Tree walks: enumeration by mask and tree deletion. Neither follows a
// symbolic link: a linked folder may lie outside the tree (or contain it),
// and the walks must neither leave the tree nor loop.
#include <vector>

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
  std::string pattern = ExtractFileName(maskPath, true);
  char delimiter = DelimiterFor(maskPath);
  // Depth first without recursion, so that no planted depth of folders can
  // exhaust the stack: each level keeps the sub-folders still to visit, and
  // holds its folder open while they need it, so that each folder and entry
  // is reached from its parent, not again from the root (a chain of folders
  // costs time in proportion to its depth). A level lets its folder go once
  // its last sub-folder is held; past kMaxHeld held levels (a planted tree
  // of wide levels) folders are reached from the root.
  constexpr size_t kMaxHeld = 128;
  struct Level {
    std::vector<std::string> subFolders;
    size_t next = 0;
    fs::HeldFolder held;
    bool holds = false;
  };
  std::vector<Level> levels;
  size_t holding = 0;
  int count = 0;
  fs::FindData entry;
  auto visit = [&](const std::string& folder) {
    Level level;
    if (holding < kMaxHeld) {
      level.held = fs::HeldFolder(folder);
      level.holds = true;
      ++holding;
    }
    TFilteredListing matches(folder + pattern, attrFilter);
    while (matches.Next(&entry)) {
      ++count;
      if (TFilteredListing::IsDotEntry(entry)) continue;
      if (callback(folder + entry.name, userValue)) break;
    }
    if (!recursive) return;
    TFilteredListing folders(folder + "*.*", fs::kAttrAnyFile);
    while (folders.Next(&entry)) {
      if (IsSubFolder(entry)) level.subFolders.push_back(folder + entry.name + delimiter);
    }
    levels.push_back(std::move(level));
  };
  auto release = [&](Level& level) {
    if (!level.holds) return;
    level.held = fs::HeldFolder();
    level.holds = false;
    --holding;
  };
  visit(ExtractFilePath(maskPath));
  while (!levels.empty()) {
    size_t top = levels.size() - 1;
    if (levels[top].next == levels[top].subFolders.size()) {
      release(levels[top]);
      levels.pop_back();
      continue;
    }
    std::string sub = levels[top].subFolders[levels[top].next++];
    visit(sub);
    if (levels[top].next == levels[top].subFolders.size()) release(levels[top]);
  }
  return count;
}

bool TgmFileUtil::DeleteTree(std::string_view folder) {
  uint32_t attributes = fs::GetFileAttributes(folder);
  if (attributes == fs::kInvalidFileAttributes || !(attributes & fs::kAttrDirectory)) {
    return false;
  }
  if (attributes & fs::kAttrReparsePoint) return fs::RemoveDirectory(folder);
  // Without recursion, so that no planted depth of folders can exhaust the
  // stack: a folder is removed once everything below it is gone.
  struct Level {
    std::string folder;
    size_t parent;  // its level's index; siblings lie between
    bool listed = false;
    bool complete = true;  // every entry below went
  };
  std::vector<Level> levels{{std::string(folder), 0}};
  bool result = true;
  fs::FindData entry;
  while (!levels.empty()) {
    if (levels.back().listed) {
      Level done = std::move(levels.back());
      levels.pop_back();
      bool removed = false;
      if (done.complete) {
        if (done.folder.size() == 2 && done.folder[1] == ':') continue;  // a drive stays
        fs::SetFileAttributes(done.folder, fs::kAttrNormal);
        removed = fs::RemoveDirectory(done.folder);
      }
      if (!removed) {
        result = false;
        if (!levels.empty()) levels[done.parent].complete = false;
      }
      continue;
    }
    levels.back().listed = true;
    std::string current = levels.back().folder;
    // Windows deletes entries of a read-only folder; Linux needs the folder
    // writable for that.
    uint32_t currentAttributes = fs::GetFileAttributes(current);
    if (currentAttributes != fs::kInvalidFileAttributes &&
        (currentAttributes & fs::kAttrReadOnly)) {
      fs::SetFileAttributes(current, fs::kAttrNormal);
    }
    std::string base = IncludeTrailingDelimiter(current, '\\');
    TFilteredListing listing(base + "*.*", fs::kAttrAnyFile);
    std::vector<std::string> subFolders;
    bool complete = true;
    while (listing.Next(&entry)) {
      if (TFilteredListing::IsDotEntry(entry) || (entry.attributes & fs::kAttrVolumeId)) continue;
      std::string path = base + entry.name;
      bool isFolder = entry.attributes & fs::kAttrDirectory;
      if (isFolder && !IsLink(entry)) {
        subFolders.push_back(path);
        continue;
      }
      if (!IsLink(entry) && (entry.attributes & fs::kAttrReadOnly)) {
        fs::SetFileAttributes(path, fs::kAttrNormal);
      }
      bool deleted = isFolder ? fs::RemoveDirectory(path) : fs::DeleteFile(path);
      if (!deleted) complete = false;
    }
    if (listing.Error() != kErrorNoMoreFiles) complete = false;
    if (!complete) {
      levels.back().complete = false;
      result = false;
    }
    size_t parent = levels.size() - 1;
    for (auto it = subFolders.rbegin(); it != subFolders.rend(); ++it)
      levels.push_back(Level{*it, parent});
  }
  return result;
}

}  // namespace slv2
