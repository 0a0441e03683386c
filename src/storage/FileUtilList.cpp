// BuildFileList: entries matching a mask, in one folder or a whole tree.
#include "storage/FileUtil.h"
#include "storage/FilteredListing.h"
#include "sys/FileLayer.h"
#include "sys/StrUtil.h"

namespace slv2 {
namespace {

bool Accepts(TAttrMatch match, uint32_t attr, uint32_t entry) {
  switch (match) {
    case TAttrMatch::Any:
      return true;
    case TAttrMatch::Exact:
      return entry == attr;
    case TAttrMatch::Subset:
      return (attr & entry) == attr;
    case TAttrMatch::Superset:
      return (attr & entry) == entry;
  }
  return false;
}

}  // namespace

bool BuildFileList(std::string_view maskPath, uint32_t attr, std::vector<std::string>& list,
                   TAttrMatch match, uint32_t options) {
  bool posix = IsPosixFormPath(maskPath);
  size_t split = maskPath.find_last_of(posix ? "/\\" : "\\:");
  size_t rootLength = split == std::string_view::npos ? 0 : split + 1;
  std::string fileMask(maskPath.substr(rootLength));

  std::vector<std::string> folders{std::string(maskPath.substr(0, rootLength))};
  fs::FindData entry;
  if (options & TFileListOption::Recursive) {
    char delimiter = posix ? '/' : '\\';
    // The list grows while it is walked: every folder's sub-folders are
    // appended after the folders already listed, level by level.
    for (size_t i = 0; i < folders.size(); ++i) {
      TFilteredListing listing(folders[i] + "*.*", fs::kAttrDirectory);
      while (listing.Next(&entry)) {
        bool subFolder = (entry.attributes & fs::kAttrDirectory) &&
                         !(entry.attributes & fs::kAttrReparsePoint) &&
                         !TFilteredListing::IsDotEntry(entry);
        if (subFolder) folders.push_back(folders[i] + entry.name + delimiter);
      }
    }
  }

  bool filtered = match == TAttrMatch::Exact || match == TAttrMatch::Superset;
  uint32_t filter = filtered ? attr : fs::kAttrAnyFile;
  for (const std::string& folder : folders) {
    TFilteredListing listing(folder + fileMask, filter);
    while (listing.Next(&entry)) {
      if (!Accepts(match, attr, entry.attributes)) continue;
      list.push_back(options & TFileListOption::FullNames ? folder + entry.name : entry.name);
    }
  }
  return true;
}

}  // namespace slv2
