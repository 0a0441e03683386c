#include "updater/Slv2TempFile.h"

#include <algorithm>
#include <limits>

#include "log/LogCategory.h"
#include "storage/FileUtil.h"
#include "storage/WinFileStream.h"
#include "storage/gmStorage.h"
#include "storage/gmZLibUtil.h"
#include "sys/FileLayer.h"
#include "sys/FileReplace.h"
#include "sys/Format.h"
#include "sys/StrUtil.h"
#include "sys/TempNames.h"
#include "sys/WinError.h"
#include "sys/version/VerInfo.h"
#include "updater/Slv2Paths.h"
#include "updater/Slv2Reason.h"
#include "updater/Slv2TempOwner.h"
#include "updater/Slv2Updater.h"

namespace slv2 {

TSlv2TempFile::TSlv2TempFile(std::string_view folder) {
  FName = TgmFileUtil::GetTempFileName(folder.empty() ? TgmFileUtil::GetTempFolder() : folder,
                                       kTempPrefix);
  if (FName.empty()) {
    std::string where = folder.empty() ? TgmFileUtil::GetTempFolder() : std::string(folder);
    throw ESlvUpdater(Format("Error creating temp file in \"%s\"", where.c_str()), fs::LastError());
  }
}

TSlv2TempFile::~TSlv2TempFile() {
  if (FName.empty()) return;
  // Goes while a failure unwinds: the reason of that failure stays the
  // thread's last error.
  uint32_t error = fs::LastError();
  uint32_t attributes = fs::GetFileAttributes(FName);
  if (attributes != fs::kInvalidFileAttributes) {
    if (attributes & fs::kAttrReadOnly) fs::SetFileAttributes(FName, fs::kAttrNormal);
    fs::DeleteFile(FName);
  }
  fs::SetLastError(error);
}

void RemoveLeftoverTempFiles(const std::string& folder, std::vector<std::string>& swept,
                             TLogCategory& log, std::chrono::system_clock::time_point runStart,
                             bool deep) {
  for (const std::string& done : swept) {
    if (PathWithin(done, folder, true)) return;
  }
  swept.push_back(folder);
  std::vector<std::string> leftovers;
  TgmFileUtil::EnumFiles(
      JoinPath(folder, std::string(kTempPrefix) + "*.TMP"), fs::kAttrAnyFile & ~fs::kAttrDirectory,
      0,
      [&](const std::string& file, uint32_t) {
        // A pupil may give his own file the program's name.
        if (IsProgramTempName(TgmFileUtil::ExtractFileName(file, true)) &&
            MadeByRunningUser(file, runStart)) {
          leftovers.push_back(file);
        }
        return false;
      },
      deep);
  for (const std::string& file : leftovers) {
    fs::SetFileAttributes(file, fs::kAttrNormal);
    if (fs::DeleteFile(file)) {
      log.Debug(Format("Removed \"%s\", a temporary file an interrupted run left", file.c_str()));
    } else {
      log.Warn(WithReason(
          Format("Cannot remove \"%s\", a temporary file an interrupted run left", file.c_str()),
          fs::LastError()));
    }
  }
}

namespace {

// A file written from its start with positioned writes: the position is
// kept here instead of being asked of the system around every write.
// Requests to size it are left for the end, when it is cut to what was
// written.
class TRewriteStream : public TStream {
 public:
  explicit TRewriteStream(fs::FileHandle& file) : FFile(file) {}
  int32_t Read(void*, int32_t) override { return -1; }
  int32_t Write(const void* buffer, int32_t count) override {
    if (count <= 0) return 0;
    if (!FFile.WriteAt(static_cast<uint64_t>(FPosition), buffer, static_cast<size_t>(count))) {
      return -1;
    }
    FPosition += count;
    FEnd = std::max(FEnd, FPosition);
    return count;
  }
  int64_t Seek(int64_t offset, fs::SeekOrigin origin) override {
    FPosition = offset + (origin == fs::kSeekCurrent ? FPosition
                          : origin == fs::kSeekEnd   ? FEnd
                                                     : 0);
    return FPosition;
  }
  void SetSize(int64_t) override {}
  int64_t Size() override { return FEnd; }

 private:
  fs::FileHandle& FFile;
  int64_t FPosition = 0;
  int64_t FEnd = 0;
};

// Writes the element over the file's first bytes and cuts the file of
// `length` bytes to what was written; false as ExtractInto.
bool Rewrite(TgmStorage& storage, const std::string& element, fs::FileHandle& file, int64_t length,
             int64_t* size) {
  std::unique_ptr<TgmStgStream> stream =
      storage.CreateStream(element, stg::kStgmRead | stg::kStgmShareDenyWrite);
  TRewriteStream out(file);
  // A write that fails leaves its reason; damaged data leaves none.
  fs::SetLastError(kErrorSuccess);
  bool ok = Decompress(*stream, out);
  uint32_t error = ok ? kErrorSuccess : fs::LastError();
  int64_t written = out.Size();
  if (size) *size = written;
  if (length > written && !file.Resize(static_cast<uint64_t>(written)) && ok) {
    ok = false;
    error = fs::LastError();
  }
  // A larger file starts its way to the disk now, so that the batch's flush
  // finds it written; small ones go together with the flush.
  if (written >= (64 << 10)) file.StartFlush();
  fs::SetLastError(error);
  return ok;
}

}  // namespace

bool ExtractInto(TgmStorage& storage, const std::string& element, const TSlv2TempFile& temp,
                 int64_t* size) {
  TWinFileStream file(temp.Name(), fs::kGenericWrite, 0, fs::kOpenExisting);
  return Rewrite(storage, element, file.Handle(), file.Handle().Size(), size);
}

TSlv2NewContent::TSlv2NewContent(const std::string& folder)
    : FFolder(folder.empty() ? TgmFileUtil::GetTempFolder() : folder),
      FFile(fs::NewFile::Create(FFolder)) {
  if (!FFile.Valid()) {
    throw ESlvUpdater(Format("Error creating temp file in \"%s\"", FFolder.c_str()),
                      fs::LastError());
  }
}

bool TSlv2NewContent::Extract(TgmStorage& storage, const std::string& element, int64_t* size) {
  int64_t written = 0;
  bool ok = Rewrite(storage, element, FFile.Handle(), FLength, &written);
  // After a failure the file's end is not known: the next content cuts it.
  FLength = ok ? written : std::numeric_limits<int64_t>::max();
  if (size) *size = written;
  return ok;
}

bool TSlv2NewContent::ReadVersion(FileVersion& version) {
  return ReadFileVersion(FFile.Handle(), version);
}

bool ReplaceInstalledFile(TSlv2TempFile& temp, const std::string& target) {
  bool replaced = fs::ReplaceFileContent(temp.Name(), target);
  if (replaced) temp.Forget();
  return replaced;
}

}  // namespace slv2
