#include "patch/DiffMaker.h"

#include <cstring>
#include <vector>

#include "patch/DiffDecoder.h"
#include "patch/DiffUtil.h"
#include "patch/PendingFile.h"
#include "storage/WinFileStream.h"

namespace slv2 {
namespace {

// A sink that takes the decoder's output and compares it with a reference
// stream instead of storing it.
class TCompareStream : public TStream {
 public:
  explicit TCompareStream(TStream& reference) : reference_(reference) {}

  int32_t Write(const void* buffer, int32_t count) override {
    expected_.resize(static_cast<size_t>(count));
    if (reference_.Read(expected_.data(), count) != count ||
        std::memcmp(expected_.data(), buffer, static_cast<size_t>(count)) != 0) {
      throw EDiffUtil("The difference does not rebuild the new file");
    }
    return count;
  }
  // The reference must end where the decoded data ended.
  void CheckEnd() {
    char extra;
    if (reference_.Read(&extra, 1) != 0) {
      throw EDiffUtil("The difference does not rebuild the new file");
    }
  }

  int32_t Read(void*, int32_t) override { return -1; }
  int64_t Seek(int64_t, fs::SeekOrigin) override { return -1; }
  void SetSize(int64_t) override {}

 private:
  TStream& reference_;
  std::vector<char> expected_;
};

TWinFileStream OpenForReading(const std::string& fileName) {
  return TWinFileStream(fileName, fs::kGenericRead, fs::kShareRead, fs::kOpenExisting);
}

}  // namespace

TDiffFileResult CreateDiffFile(const std::string& oldFile, const std::string& newFile,
                               const std::string& diffFile, const TDiffEncoderOptions& options) {
  TPendingFile pending(diffFile);
  TDiffFileResult result{};
  {
    TWinFileStream oldData = OpenForReading(oldFile);
    TWinFileStream newData = OpenForReading(newFile);
    TWinFileStream diff(pending.Path(), fs::kGenericWrite, 0, fs::kCreateAlways);
    CreateDiffStream(oldData, newData, diff, options);
    result.diffSize = diff.Position();
    result.newSize = newData.Position();
  }
  {
    TWinFileStream oldData = OpenForReading(oldFile);
    TWinFileStream newData = OpenForReading(newFile);
    TWinFileStream diff = OpenForReading(pending.Path());
    TCompareStream rebuilt(newData);
    ApplyDiffStream(diff, oldData, rebuilt);
    rebuilt.CheckEnd();
  }
  pending.Commit();
  return result;
}

}  // namespace slv2
