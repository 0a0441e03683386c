#include "storage/ExtractBatch.h"

#include <set>

#include "storage/FileUtil.h"
#include "storage/Stream.h"
#include "sys/FileLayer.h"
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

TExtractBatch::~TExtractBatch() {
  for (const auto& [temp, target] : FPending)
    fs::DeleteFile(temp);
}

void TExtractBatch::Add(std::string temp, std::string target, int64_t size) {
  FPending.emplace_back(std::move(temp), std::move(target));
  FBytes += size;
  if (FPending.size() >= kBatchFiles || FBytes >= kBatchBytes) Finish();
}

void TExtractBatch::Finish() {
  if (FPending.empty()) return;
  std::vector<std::string> temps;
  for (const auto& entry : FPending)
    temps.push_back(entry.first);
  if (!fs::FlushFiles(temps)) CannotCreate(FPending.front().second);
  std::set<std::string> folders;
  while (!FPending.empty()) {
    const auto& [temp, target] = FPending.front();
    if (!fs::RenameOver(temp, target)) CannotCreate(target);
    std::string folder = TgmFileUtil::ExtractFilePath(target);
    folders.insert(folder.empty() ? std::string(".") : folder);
    FPending.erase(FPending.begin());
  }
  FBytes = 0;
  if (!fs::FlushFolders(std::vector<std::string>(folders.begin(), folders.end()))) {
    CannotCreate(*folders.begin());
  }
}

}  // namespace slv2
