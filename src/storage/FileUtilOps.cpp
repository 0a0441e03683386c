// Existence tests, attributes, folder creation, copying and temporary files
// over the platform file layer.
#include "storage/FileUtil.h"
#include "sys/FileLayer.h"
#include "sys/StrUtil.h"

namespace slv2 {

bool FileExists(std::string_view path) {
  uint32_t attributes = fs::GetFileAttributes(path);
  return attributes != fs::kInvalidFileAttributes && !(attributes & fs::kAttrDirectory);
}

bool TgmFileUtil::DirectoryExists(std::string_view path) {
  uint32_t attributes = fs::GetFileAttributes(path);
  return attributes != fs::kInvalidFileAttributes && (attributes & fs::kAttrDirectory);
}

bool TgmFileUtil::ForceDirectories(std::string_view folder) {
  if (folder.empty()) return true;
  std::string dir = ExcludeTrailingDelimiters(folder);
  // A drive ("C:") is never created. A POSIX path ends its climb at "/",
  // which the exclusion above has reduced to nothing.
  bool root = IsPosixFormPath(folder) ? dir.empty() : dir.size() < 3;
  if (root || DirectoryExists(dir)) return true;
  return ForceDirectories(ExtractFilePath(dir)) && fs::CreateDirectory(dir);
}

bool TgmFileUtil::CopyFile(std::string_view source, std::string_view destination,
                           bool failIfExists) {
  bool prepared = FileExists(destination) ? fs::SetFileAttributes(destination, fs::kAttrNormal)
                                          : ForceDirectories(ExtractFilePath(destination));
  return prepared && fs::CopyFile(source, destination, failIfExists);
}

std::string TgmFileUtil::GetTempFolder() {
  return IncludeTrailingDelimiter(fs::GetTempPath(), '\\');
}

std::string TgmFileUtil::GetTempFileName(std::string_view folder, std::string_view prefix) {
  return fs::GetTempFileName(folder, prefix);
}

std::string TgmFileUtil::GetTempFileName() {
  return GetTempFileName(GetTempFolder(), "tmp");
}

}  // namespace slv2
