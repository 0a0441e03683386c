#include "publish/UpdateSummary.h"

#include "storage/WinFileStream.h"
#include "storage/gmStorage.h"

namespace slv2::publish {
namespace {

void Add(TSummaryRow& row, uint64_t bytes) {
  ++row.files;
  row.bytes += bytes;
}

}  // namespace

TUpdateSummary SummarizeUpdate(const std::vector<TFilePlan>& plan, const TStage& stage,
                               const std::string& storageFile) {
  TUpdateSummary summary;
  for (const TFilePlan& file : plan) {
    if (file.newFile) Add(summary.release, file.newFile->size);
    if (file.change == TFileChange::kSame) Add(summary.leftOut, file.newFile->size);
    if (file.change == TFileChange::kRemoved) Add(summary.deleted, file.oldFile->size);
  }
  summary.deleteEntries = stage.deletions.size();
  {
    TgmStorageRef root = TgmStorage::Create(storageFile, stg::kStgmRead | stg::kStgmShareDenyWrite);
    for (const TStagedFile& staged : stage.files) {
      auto stored = static_cast<uint64_t>(
          root->CreateStream(staged.element, stg::kStgmRead | stg::kStgmShareDenyWrite)->Size());
      if (staged.difference) {
        Add(summary.differences, stored);
        summary.differencesOf += staged.file->newFile->size;
      } else if (staged.file->change == TFileChange::kNew) {
        Add(summary.added, stored);
      } else if (staged.file->change == TFileChange::kKept) {
        Add(summary.kept, stored);
      } else {
        Add(summary.whole, stored);
      }
    }
  }
  TWinFileStream storage(storageFile, fs::kGenericRead, fs::kShareRead, fs::kOpenExisting);
  summary.storageBytes = static_cast<uint64_t>(storage.Size());
  return summary;
}

}  // namespace slv2::publish
