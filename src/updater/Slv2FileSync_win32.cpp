#include "sys/FileLayer.h"
#include "updater/Slv2FileSync.h"

namespace slv2::filesync {

// Windows flushes a file through a handle of its own; there is no flush of
// one file system at once that an unprivileged program may call.
bool FlushFiles(const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    fs::FileHandle handle = fs::FileHandle::Open(
        file, fs::kGenericWrite, fs::kShareRead | fs::kShareWrite, fs::kOpenExisting);
    if (!handle.Valid() || !handle.Flush()) return false;
  }
  return true;
}

// The renames are written through to the disk as they happen (RenameOver),
// so nothing of a folder is left to flush.
bool FlushFolders(const std::vector<std::string>&) {
  return true;
}

bool RenameOver(std::string_view from, std::string_view to) {
  return fs::ReplaceFile(from, to);
}

}  // namespace slv2::filesync
