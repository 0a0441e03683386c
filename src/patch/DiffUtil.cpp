#include "patch/DiffUtil.h"

#include <memory>

#include "storage/WinFileStream.h"

namespace slv2 {
namespace {

bool FileExists(const std::string& path) {
  uint32_t attributes = fs::GetFileAttributes(path);
  return attributes != fs::kInvalidFileAttributes && !(attributes & fs::kAttrDirectory);
}

void Apply(const std::string& sourceFile, const std::string& targetFile,
           const std::string& diffFile, const TDiffProgressProc& progress) {
  if (!FileExists(sourceFile) || !FileExists(diffFile)) {
    throw EDiffUtil("Not all source files exist");
  }
  // Readers may share the old file and the difference, writers may not: the
  // share check also refuses a target that names the old file, before the
  // target's creation could empty it.
  TWinFileStream source(sourceFile, fs::kGenericRead, fs::kShareRead, fs::kOpenExisting);
  TWinFileStream diff(diffFile, fs::kGenericRead, fs::kShareRead, fs::kOpenExisting);
  TWinFileStream target(targetFile, fs::kGenericWrite, 0, fs::kCreateAlways);
  try {
    ApplyDiffStream(diff, source, target, progress);
  } catch (const std::exception&) {
    throw EDiffUtil("CRC error");
  }
}

}  // namespace

bool ApplyDiffFile(const std::string& sourceFile, const std::string& targetFile,
                   const std::string& diffFile, const TDiffProgressProc& progress) {
  try {
    Apply(sourceFile, targetFile, diffFile, progress);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool DiffAlreadyApplied(const std::string& installedFile, const std::string& diffFile) {
  try {
    TWinFileStream installed(installedFile, fs::kGenericRead, fs::kShareRead, fs::kOpenExisting);
    TWinFileStream diff(diffFile, fs::kGenericRead, fs::kShareRead, fs::kOpenExisting);
    return DiffResultInPlace(diff, installed);
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace slv2
