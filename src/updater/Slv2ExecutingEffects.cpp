// The effects of a real run: every change is made, then recorded.
#include "log/LogCategory.h"
#include "storage/FileUtil.h"
#include "storage/gmStorage.h"
#include "storage/gmStrmUtil.h"
#include "sys/FileLayer.h"
#include "sys/FileReplace.h"
#include "sys/Format.h"
#include "sys/Process.h"
#include "sys/ShFolder.h"
#include "sys/StrUtil.h"
#include "sys/WinError.h"
#include "sys/registry/RegFunctions.h"
#include "sys/registry/RegistryUtil.h"
#include "updater/Slv2Effects.h"
#include "updater/Slv2Paths.h"
#include "updater/Slv2TempFile.h"

namespace slv2 {

namespace {

constexpr uint32_t kReadDenyWrite = stg::kStgmRead | stg::kStgmShareDenyWrite;

// Merges the patch compound file into a copy of the installed one; the copy
// replaces the original only when the whole merge succeeded.
bool MergeIntoCopy(const std::string& patchFile, const std::string& target) {
  // The installed file must be a compound file that this run may change,
  // held exclusively while its copy is merged.
  TgmStorageRef installed =
      TgmStorage::Create(target, stg::kStgmReadWrite | stg::kStgmShareExclusive);
  TSlv2TempFile work(TgmFileUtil::ExtractFilePath(target));
  if (!fs::CopyFile(target, work.Name(), false)) return false;
  {
    TgmStorageRef patch = TgmStorage::Create(patchFile, kReadDenyWrite);
    TgmStorageRef copy =
        TgmStorage::Create(work.Name(), stg::kStgmReadWrite | stg::kStgmShareExclusive);
    if (!patch->CopyTo(copy.get())) return false;
    copy->Commit(0);
  }
  installed.reset();
  return ReplaceInstalledFile(work, target);
}

// Gives the file its new text through a temporary copy that keeps the
// file's attributes, renamed over it once complete. A file that is
// read-only is not written: its text is not the update's to change.
bool WriteThroughTemp(const std::string& fileName, const std::string& text) {
  uint32_t attributes = fs::GetFileAttributes(fileName);
  if (attributes != fs::kInvalidFileAttributes && (attributes & fs::kAttrReadOnly)) {
    fs::SetLastError(kErrorAccessDenied);
    return false;
  }
  try {
    TSlv2TempFile temp(TgmFileUtil::ExtractFilePath(fileName));
    return fs::CopyFile(fileName, temp.Name(), false) && WriteStringToFile(temp.Name(), text) &&
           ReplaceInstalledFile(temp, fileName);
  } catch (const std::exception&) {
    return false;  // no temporary file: the caller's line says the write failed
  }
}

// Copies every file below `from` to the same place below `to`, overwriting;
// true when every one of them arrived. Links (which no shell makes, but any
// user may plant) are not copied: `links` receives them.
bool CopyFolder(const std::string& from, const std::string& to, std::vector<std::string>& links) {
  std::string mask = JoinPath(from, "*.*");
  size_t prefix = TgmFileUtil::ExtractFilePath(mask).size();
  bool complete = TgmFileUtil::ForceDirectories(to);
  TgmFileUtil::EnumFiles(
      mask, fs::kAttrAnyFile & ~fs::kAttrDirectory, 0,
      [&](const std::string& file, uint32_t) {
        uint32_t attributes = fs::GetFileAttributes(file);
        if (attributes != fs::kInvalidFileAttributes && (attributes & fs::kAttrReparsePoint)) {
          links.push_back(file);
        } else if (!TgmFileUtil::CopyFile(file, JoinPath(to, file.substr(prefix)), false)) {
          complete = false;
        }
        return false;
      },
      true);
  return complete;
}

class TExecutingEffects : public TSlv2Effects {
 public:
  using TSlv2Effects::TSlv2Effects;

  std::string WorkFolder(const std::string& folder) const override { return folder; }
  bool MakeFolder(const std::string& folder) override {
    return TgmFileUtil::ForceDirectories(folder);
  }
  std::string SpecialFolder(int csidl) override { return GetSpecialFolderPath(csidl, true); }
  bool FlushFolders(const std::vector<std::string>& folders) override {
    return fs::FlushFolders(folders);
  }

  bool Replace(TSlv2TempFile& temp, const std::string& target, TSlv2Outcome outcome) override {
    return Done(ReplaceInstalledFile(temp, target), outcome);
  }
  bool Place(TSlv2NewContent& content, const std::string& target, TSlv2Outcome outcome) override {
    return Done(fs::PlaceNewFile(content.File(), target), outcome);
  }
  bool Delete(const std::string& path, bool tree, TSlv2Outcome outcome) override {
    return Done(tree ? TgmFileUtil::DeleteTree(path) : fs::DeleteFile(path), outcome);
  }
  bool WriteText(const std::string& file, const std::string& text, TSlv2Outcome outcome) override {
    return Done(WriteThroughTemp(file, text), outcome);
  }
  bool Merge(const std::string& patchFile, const std::string& target,
             TSlv2Outcome outcome) override {
    return Done(MergeIntoCopy(patchFile, target), outcome, "the merge failed");
  }
  int Unpack(TgmStorage& storage, const std::vector<std::string>& streams,
             const std::string& destination, TSlv2Outcome outcome) override {
    int done = storage.ExtractStreams(streams, destination);
    std::string reason =
        Format("%d of %d streams unpacked", done, static_cast<int>(streams.size()));
    Done(done == static_cast<int>(streams.size()), outcome, reason.c_str());
    return done;
  }
  bool ImportScript(const std::string& file, TSlv2Outcome outcome) override {
    return Done(ImportRegFile(file), outcome, "the script was not imported");
  }
  void BeginScripts() override {
    FScripts = std::make_unique<reg::Transaction>();
    FScriptsFrom = RecordCount();
    // A registry that cannot begin the group (busy, unreadable) is left to
    // tell each script's import why it fails.
    if (FScripts->Begin() != kErrorSuccess) FScripts.reset();
  }
  bool EndScripts() override {
    std::unique_ptr<reg::Transaction> scripts = std::move(FScripts);
    if (!scripts) return true;
    uint32_t error = scripts->Commit();
    if (error == kErrorSuccess) return true;
    Undone(FScriptsFrom, "not taken by the registry: " + reg::RegistryErrorText(error));
    return false;
  }
  bool MoveFolder(const std::string& from, const std::string& to, std::vector<std::string>& links,
                  TSlv2Outcome outcome) override {
    // The old folder goes only when nothing of it would be lost.
    bool copied = CopyFolder(from, to, links);
    if (copied) TgmFileUtil::DeleteTree(from);
    return Done(copied, outcome, "not copied completely");
  }
  bool Rename(const std::string& from, const std::string& to, TSlv2Outcome outcome) override {
    return Done(fs::MoveFile(from, to), outcome);
  }
  bool SetRights(const std::function<bool()>& grant, TSlv2Outcome outcome) override {
    return Done(grant(), outcome);
  }
  uint32_t Run(const std::string& commandLine, TSlv2Outcome outcome) override {
    uint32_t code = ExecAndWait(commandLine, kSwHide);
    // What the program does is its own affair: only that it ran is recorded.
    if (code != kExecFailed) Done(true, outcome);
    return code;
  }
  bool CopyKey(reg::HKey fromRoot, const std::string& from, reg::HKey toRoot, const std::string& to,
               TSlv2Outcome outcome) override {
    return Done(CopyRegKey(fromRoot, toRoot, from, to), outcome, "not copied completely");
  }
  bool MoveKey(reg::HKey fromRoot, const std::string& from, reg::HKey toRoot, const std::string& to,
               TSlv2Outcome outcome) override {
    return Done(MoveRegKey(fromRoot, toRoot, from, to), outcome, "not moved");
  }
  void WriteString(reg::HKey root, const std::string& key, const std::string& name,
                   const std::string& value) override {
    RegWriteString(root, key, name, value);
  }

  bool RemoveFile(const std::string& file) override { return fs::DeleteFile(file); }
  bool RemoveEmptyFolder(const std::string& folder) override { return fs::RemoveDirectory(folder); }

  bool KeyExists(reg::HKey root, const std::string& key) const override {
    return RegKeyExists(root, key);
  }
  std::string ReadString(reg::HKey root, const std::string& key,
                         const std::string& name) const override {
    return RegReadStringDef(root, key, name, "");
  }
  std::string Located(const std::string& folder) const override { return folder; }

  void Refused(const char*, TSlv2Outcome outcome, const std::string& errorLine) override {
    Logger().Error(errorLine);
    Record(std::move(outcome));
  }

 private:
  std::unique_ptr<reg::Transaction> FScripts;
  size_t FScriptsFrom = 0;
};

}  // namespace

std::unique_ptr<TSlv2Effects> MakeExecutingEffects(TLogCategory& logger) {
  return std::make_unique<TExecutingEffects>(logger);
}

}  // namespace slv2
