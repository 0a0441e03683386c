#include <cinttypes>

#include "log/LogCategory.h"
#include "log/LogPriority.h"
#include "patch/DiffUtil.h"
#include "storage/FileUtil.h"
#include "storage/UnpackLimits.h"
#include "sys/FileLayer.h"
#include "sys/Format.h"
#include "sys/WinError.h"
#include "sys/version/VerInfo.h"
#include "updater/Slv2Cancel.h"
#include "updater/Slv2IniFile.h"
#include "updater/Slv2NameMap.h"
#include "updater/Slv2Paths.h"
#include "updater/Slv2Reason.h"
#include "updater/Slv2ReplaceBatch.h"
#include "updater/Slv2TempFile.h"
#include "updater/Slv2Updater.h"

namespace slv2 {

namespace {

constexpr uint32_t kReadDenyWrite = stg::kStgmRead | stg::kStgmShareDenyWrite;

// The storage's identity in the patch and difference lines: its address in
// upper-case hexadecimal of the pointer's width.
std::string Identity(const TgmStorage* storage) {
  return Format("%0*" PRIXPTR, static_cast<int>(sizeof(void*) * 2),
                reinterpret_cast<uintptr_t>(storage));
}

bool EndsWith(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The element's content in the temporary file; `format` names the element
// and the file when it cannot be extracted.
void Extract(TgmStorage& storage, const std::string& element, const TSlv2TempFile& file,
             const char* format, int64_t* size = nullptr) {
  if (!ExtractInto(storage, element, file, size)) {
    throw ESlvUpdater(Format(format, element.c_str(), file.Name().c_str()), fs::LastError());
  }
}

constexpr const char* kExtractError = "Error extracting \"%s\" stream to \"%s\" temp file";

}  // namespace

void TSlv2Updater::ProcessFiles() {
  try {
    SLV2_ASSERT(FStorage, "Slv2Updater");
    TgmStorageRef files;
    if (FStorage->ElementExists("files") &&
        FStorage->CreateStorage("files", kReadDenyWrite, &files)) {
      ProcessFilesIn(*files, "product", FProductRoot);
      ProcessFilesIn(*files, "solvane", FSlv21Root);
    } else {
      Logger().Debug(
          Format("%s(): No files to process in update storage \"%s\"", "ProcessFiles", "files"));
    }
  } catch (const std::exception& e) {
    LogFailed("ProcessFiles", e);
  }
}

void TSlv2Updater::ProcessFilesIn(TgmStorage& parent, const std::string& name,
                                  const std::string& root) {
  TgmStorageRef files;
  if (!(parent.ElementExists(name) && parent.CreateStorage(name, kReadDenyWrite, &files))) {
    Logger().Debug(
        Format("%s(): No files to process in update storage \"%s\"", "ProcessFiles", name.c_str()));
    return;
  }
  if (root.empty()) {
    // Combined with an empty root every element would land at the root of
    // the drive.
    Logger().Error(Format("%s(): Destination folder of \"%s\" is unknown, its files are skipped",
                          "ProcessFiles", name.c_str()));
    return;
  }
  std::vector<std::string> names;
  files->ListStreams(names);
  TSlv2IniFile nameMapIni;
  LoadIniFromStorage(kNameMapElement, nameMapIni, &parent);
  TSlv2NameMap nameMap(nameMapIni, name, [this](const std::string& line) { Logger().Error(line); });
  TSlv2ReplaceBatch batch(Logger(), Effects());
  struct BatchScope {
    TSlv2ReplaceBatch*& slot;
    ~BatchScope() { slot = nullptr; }
  } scope{FBatch = &batch};
  for (const std::string& element : names) {
    // Elements not yet in place are dropped with their temporary files.
    cancel::CheckPoint();
    if (HasControlCharacters(element)) {
      batch.AddLine(TLogPriority::Error(),
                    Format("%s(): \"%s\" is not a valid file name, element refused", "ProcessFiles",
                           PrintableName(element).c_str()));
      continue;
    }
    std::string path = nameMap.PathOf(element);
    if (path.empty()) continue;
    bool patch = EndsWith(element, ".patch"), diff = EndsWith(element, ".diff");
    if (!patch && !diff) {
      ProcessFile(*files, element, root, path);
      continue;
    }
    // A merge or a difference works on the installed files as they are by
    // now, and logs after the elements before it.
    batch.Finish();
    const char* operation = patch ? "ProcessPatch" : "ProcessDiff";
    std::string target =
        TgmFileUtil::CombinePath(root, path.substr(0, path.size() - (patch ? 6 : 5)));
    if (!PathWithin(root, target, false)) {
      Logger().Error(Format("%s(): \"%s\" leads outside \"%s\", element refused", operation,
                            path.c_str(), root.c_str()));
    } else if (patch) {
      ProcessPatch(*files, element, target);
    } else {
      ProcessDiff(*files, element, target);
    }
  }
  batch.Finish();
  Logger().Debug(
      Format("%s(): Processed %d files", "ProcessFiles", static_cast<int>(names.size())));
}

void TSlv2Updater::ProcessFile(TgmStorage& storage, const std::string& elementName,
                               const std::string& root, const std::string& path) {
  // Every line waits in the batch, so that the log keeps the order of the
  // elements.
  SLV2_ASSERT(FBatch, "Slv2Updater");
  auto log = [this](const TLogPriority& priority, const std::string& line) {
    FBatch->AddLine(priority, line);
  };
  try {
    const std::string& name = path.empty() ? elementName : path;
    std::string target = TgmFileUtil::CombinePath(root, name);
    if (root.empty() || !PathWithin(root, target, false)) {
      log(TLogPriority::Error(), Format("%s(): \"%s\" leads outside \"%s\", element refused",
                                        "ProcessFile", name.c_str(), root.c_str()));
      return;
    }
    std::string folder = TgmFileUtil::ExtractFilePath(target);
    // A held folder was found free of links when it was taken, and stays
    // the folder then found.
    bool held = FBatch->Holds(folder);
    if (!held && PassesThroughLink(folder, InsideFolders(folder, false))) {
      log(TLogPriority::Error(), Format("%s(): \"%s\" passes through a link, element refused",
                                        "ProcessFile", target.c_str()));
      return;
    }
    uint32_t attributes = fs::GetFileAttributes(target);
    // A link in the file's place is no installed file: nothing is read
    // through it, and the new file takes its place.
    bool link = attributes != fs::kInvalidFileAttributes && (attributes & fs::kAttrReparsePoint);
    bool exists =
        !link && attributes != fs::kInvalidFileAttributes && !(attributes & fs::kAttrDirectory);
    if (link) {
      log(TLogPriority::Warn(), Format("%s(): \"%s\" is a link, the new file takes its place",
                                       "ProcessFile", target.c_str()));
    } else if (!exists && !held && !Effects().MakeFolder(folder)) {
      throw ESlvUpdater(Format("Error creating folder \"%s\"", folder.c_str()), fs::LastError());
    }
    if (!held) FBatch->Hold(folder);
    std::string work = Effects().WorkFolder(folder);
    std::unique_ptr<TSlv2NewContent> content = FBatch->TakeSpare(work);
    if (!content) content = std::make_unique<TSlv2NewContent>(work);
    int64_t size = 0;
    if (!content->Extract(storage, elementName, &size)) {
      throw ESlvUpdater(Format(kExtractError, elementName.c_str(), content->Folder().c_str()),
                        fs::LastError());
    }
    // Each version is read once: for the rule and for the record; the new
    // one from the file still open, which no one else can reach yet.
    FileVersion incoming, installed;
    bool read = content->ReadVersion(incoming);
    if (exists && !(read && ReadFileVersion(target, installed))) {
      throw ESlvUpdater(Format("Error reading the versions of \"%s\": %s", target.c_str(),
                               SysErrorMessage(fs::LastError()).c_str()));
    }
    int newer = exists ? CompareFileVersions(incoming, installed) : 1;
    TSlv2Outcome outcome(!exists     ? TSlv2OutcomeKind::NewFile
                         : newer < 0 ? TSlv2OutcomeKind::Keep
                                     : TSlv2OutcomeKind::Replace,
                         target);
    outcome.newVersion = FileVersionText(incoming);
    if (exists) outcome.installedVersion = FileVersionText(installed);
    if (newer < 0) {
      log(TLogPriority::Debug(),
          Format("%s(): Existing \"%s\" has newer version", "ProcessFile", target.c_str()));
      FBatch->AddRecord(std::move(outcome));
      FBatch->KeepSpare(std::move(content));
      return;
    }
    std::string done = exists ? Format("%s(): Replaced \"%s\" with newer or the same",
                                       "ProcessFile", target.c_str())
                              : Format("%s(): Extracted new \"%s\"", "ProcessFile", target.c_str());
    FBatch->Add(std::move(content), target, size, std::move(outcome), "ProcessFile", done);
    FBatch->FlushIfFull();
  } catch (const std::exception& e) {
    log(TLogPriority::Error(), FailedLine("ProcessFile", e));
  }
}

void TSlv2Updater::ProcessPatch(TgmStorage& storage, const std::string& elementName,
                                const std::string& target) {
  TSlv2Outcome outcome(TSlv2OutcomeKind::Merge, target);
  std::string line = Format("%s(%s, \"%s\", \"%s\")", "ProcessPatch", Identity(&storage).c_str(),
                            elementName.c_str(), target.c_str());
  try {
    TSlv2TempFile patchFile;
    Extract(storage, elementName, patchFile, "error extracting \"%s\" stream to \"%s\" temp file");
    bool merged = Effects().Merge(patchFile.Name(), target, outcome);
    merged ? Logger().Debug(line + " succeeded") : Logger().Error(line + " failed");
  } catch (const std::exception& e) {
    outcome.failure = ExceptionMessage(e);
    Effects().Refused("ProcessPatch", std::move(outcome), FailedLine("ProcessPatch", e));
  }
}

void TSlv2Updater::ProcessDiff(TgmStorage& storage, const std::string& elementName,
                               const std::string& target) {
  TSlv2Outcome outcome(TSlv2OutcomeKind::Diff, target);
  std::string line = Format("%s(%s, \"%s\", \"%s\")", "ProcessDiff", Identity(&storage).c_str(),
                            elementName.c_str(), target.c_str());
  try {
    TSlv2TempFile diffFile;
    Extract(storage, elementName, diffFile, kExtractError);
    if (!FileExists(target)) {
      outcome.failure = "the installed file is missing";
      return Effects().Refused("ProcessDiff", std::move(outcome), line + " failed");
    }
    // Decoded where the effects prepare new content, so that a difference
    // for another version is known before anything changes.
    TSlv2TempFile result(Effects().WorkFolder(TgmFileUtil::ExtractFilePath(target)));
    if (!ApplyDiffFile(target, result.Name(), diffFile.Name())) {
      // A repeated run (or the shell's finishing pass) finds the result
      // already there: nothing is left to do.
      if (DiffAlreadyApplied(target, diffFile.Name())) {
        Logger().Debug(line + ": \"" + target + "\" is already up to date");
        outcome.detail = "already up to date";
        return Effects().Record(std::move(outcome));
      }
      outcome.failure = "the installed file is another version";
      return Effects().Refused("ProcessDiff", std::move(outcome), line + " failed");
    }
    bool applied = Effects().Replace(result, target, std::move(outcome));
    applied ? Logger().Debug(line + " succeeded") : Logger().Error(line + " failed");
  } catch (const std::exception& e) {
    outcome.failure = ExceptionMessage(e);
    Effects().Refused("ProcessDiff", std::move(outcome), FailedLine("ProcessDiff", e));
  }
}

}  // namespace slv2
