#include "storage/ExtractBatch.h"

#include <algorithm>
#include <set>

#include "storage/FileUtil.h"
#include "storage/Stream.h"
#include "sys/Format.h"
#include "sys/WinError.h"

namespace slv2 {
namespace {

// Few enough flushes to make thousands of small files cheap, and never more
// than this much new content waiting beside the old on disk.
constexpr size_t kBatchFiles = 1024;
constexpr int64_t kBatchBytes = 128 << 20;

[[noreturn]] void CannotCreate(const std::string& target) {
  throw EFileOpenError(Format("Cannot create file %s: %s", target.c_str(),
                              SysErrorMessage(fs::LastError()).c_str()));
}

}  // namespace

void TExtractBatch::Add(fs::NewFile file, std::string target, int64_t size) {
  FPending.emplace_back(std::move(file), std::move(target));
  FBytes += size;
  if (FPending.size() >= std::min(kBatchFiles, fs::NewFilesAtOnce()) || FBytes >= kBatchBytes) {
    Finish();
  }
}

void TExtractBatch::Finish() {
  if (FPending.empty()) return;
  std::vector<std::pair<fs::NewFile, std::string>> pending = std::move(FPending);
  FPending.clear();
  FBytes = 0;
  std::vector<fs::NewFile*> files;
  for (auto& entry : pending)
    files.push_back(&entry.first);
  if (!fs::FlushNewFiles(files)) CannotCreate(pending.front().second);
  std::set<std::string> folders;
  for (auto& [file, target] : pending) {
    if (!file.Place(target)) CannotCreate(target);
    std::string folder = TgmFileUtil::ExtractFilePath(target);
    folders.insert(folder.empty() ? std::string(".") : folder);
  }
  if (!fs::FlushFolders(std::vector<std::string>(folders.begin(), folders.end()))) {
    CannotCreate(*folders.begin());
  }
}

}  // namespace slv2
