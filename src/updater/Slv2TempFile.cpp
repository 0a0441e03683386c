#include "updater/Slv2TempFile.h"

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

// The temporary file, written over from its start; requests to size it are
// left for the end, when it is cut to what was written.
class TScratchFileStream : public TWinFileStream {
 public:
  explicit TScratchFileStream(const std::string& fileName)
      : TWinFileStream(fileName, fs::kGenericWrite, 0, fs::kOpenExisting) {}
  void SetSize(int64_t) override {}
  void CutToPosition() {
    int64_t end = Position();
    if (Size() > end) TWinFileStream::SetSize(end);
  }
};

}  // namespace

bool ExtractInto(TgmStorage& storage, const std::string& element, const TSlv2TempFile& temp,
                 int64_t* size) {
  std::unique_ptr<TgmStgStream> stream =
      storage.CreateStream(element, stg::kStgmRead | stg::kStgmShareDenyWrite);
  TScratchFileStream file(temp.Name());
  // A write that fails leaves its reason; damaged data leaves none.
  fs::SetLastError(kErrorSuccess);
  bool ok = Decompress(*stream, file);
  uint32_t error = ok ? kErrorSuccess : fs::LastError();
  if (size) *size = file.Position();
  file.CutToPosition();
  // A larger file starts its way to the disk now, so that the batch's flush
  // finds it written; small ones go together with the flush.
  if (file.Position() >= (64 << 10)) file.Handle().StartFlush();
  fs::SetLastError(error);
  return ok;
}

bool ReplaceInstalledFile(TSlv2TempFile& temp, const std::string& target, bool durably) {
  bool replaced = fs::ReplaceFileContent(temp.Name(), target, durably);
  if (replaced) temp.Forget();
  return replaced;
}

}  // namespace slv2
