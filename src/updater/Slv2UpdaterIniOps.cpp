#include "log/LogCategory.h"
#include "storage/FileUtil.h"
#include "storage/UnpackLimits.h"
#include "storage/gmStrmUtil.h"
#include "sys/FileLayer.h"
#include "sys/Format.h"
#include "sys/RegExReplace.h"
#include "sys/StackSpace.h"
#include "sys/StrUtil.h"
#include "sys/WinError.h"
#include "updater/Slv2Cancel.h"
#include "updater/Slv2Paths.h"
#include "updater/Slv2Reason.h"
#include "updater/Slv2TempFile.h"
#include "updater/Slv2Updater.h"

namespace slv2 {

namespace {

// A replacement holds the whole file and its result in memory; files past
// this size are not read (a mask that strays onto a large data file).
constexpr int64_t kMaxReplaceSize = 64 << 20;
// The stack of a regular-expression replacement: address space reserved
// for the matcher's recursion, taken only as deep as a search goes.
constexpr size_t kReplaceStack = size_t{256} << 20;

bool IsMask(std::string_view path) {
  return path.find_first_of("*?") != std::string_view::npos;
}

// The line of a deletion's outcome; a failure also says why, so it is built
// right after the deletion, while the thread's last error is its own.
std::string DeletionLine(const char* op, const std::string& path, const char* kind, bool deleted) {
  return WithReason(Format("  %s: Deletion of \"%s\" as existing %s - %s", op, path.c_str(), kind,
                           deleted ? "succeeded" : "failed"),
                    deleted ? kErrorSuccess : fs::LastError());
}

// The size the folder listing gives for a file, so that a large file is
// refused without being read.
uint64_t ListedSize(const std::string& fileName) {
  fs::DirListing listing(fileName);
  fs::FindData entry;
  return listing.Next(&entry) ? entry.size : 0;
}

}  // namespace

void TSlv2Updater::ProcessDelete(const std::vector<std::string>& list, const std::string& name) {
  if (list.empty()) return;
  if (FProductRoot.empty()) {
    // Joined with an empty root the entries would name the drive's root.
    Logger().Error(Format("%s: Product folder is unknown, %u entries not processed", name.c_str(),
                          static_cast<unsigned>(list.size())));
    return;
  }
  const char* op = name.c_str();
  for (const std::string& entry : list) {
    cancel::CheckPoint();
    Logger().Debug(Format("%s: Processing deletion of \"%s\":", op, entry.c_str()));
    std::string path = JoinPath(FProductRoot, entry);
    // The normalised path is what is acted on, so that "." and ".." mean
    // what the containment test saw.
    std::string normal = TgmFileUtil::NormalizePath(path);
    bool mask = IsMask(path);
    if (mask ? !InsideFolders(TgmFileUtil::ExtractFilePath(normal), true)
             : !InsideFolders(normal, false)) {
      Logger().Error(Format("  %s: \"%s\" lies outside the product and shell folders, refused", op,
                            path.c_str()));
    } else if (PassesThroughLink(
                   mask ? TgmFileUtil::ExtractFilePath(normal) : normal,
                   mask && InsideFolders(TgmFileUtil::ExtractFilePath(normal), false))) {
      Logger().Error(Format("  %s: \"%s\" passes through a link, refused", op, path.c_str()));
    } else if (mask) {
      std::vector<std::string> entries;
      BuildFileList(normal, 0, entries, TAttrMatch::Any, TFileListOption::FullNames);
      if (entries.empty()) {
        Logger().Warn(Format("  %s: No files found for deletion by mask \"%s\"", op, path.c_str()));
        continue;
      }
      Logger().Debug(Format("  %s: Started to delete %u files by mask \"%s\"", op,
                            static_cast<unsigned>(entries.size()), path.c_str()));
      for (const std::string& file : entries) {
        // A file mask deletes files; a folder it matches stays, and nothing
        // the storage asked for is left undone.
        if (TgmFileUtil::DirectoryExists(file)) {
          Warning(Format("  %s: \"%s\" is a folder, not deleted by mask \"%s\"", op, file.c_str(),
                         path.c_str()));
        } else {
          Delete(op, file, file, false);
        }
      }
    } else if (FileExists(normal)) {
      Delete(op, path, normal, false);
    } else if (TgmFileUtil::DirectoryExists(normal)) {
      Delete(op, path, normal, true);
    } else {
      Logger().Debug(Format("  %s: \"%s\" is not a mask and not found as file or directory", op,
                            path.c_str()));
    }
  }
}

void TSlv2Updater::Delete(const char* op, const std::string& path, const std::string& normal,
                          bool folder) {
  TSlv2Outcome outcome(TSlv2OutcomeKind::Delete, normal);
  if (folder) outcome.detail = "folder";
  bool deleted = Effects().Delete(normal, folder, std::move(outcome));
  Logger().Debug(DeletionLine(op, path, folder ? "directory" : "file", deleted));
}

void TSlv2Updater::ProcessStrReplace(TSlv2StrReplaceList& list) {
  for (auto& [section, record] : list) {
    cancel::CheckPoint();
    Logger().Debug(
        Format("%s: Operation (replace \"%s\" (%s) with \"%s\" in files by mask \"%s\") started",
               "StrReplace", record.SearchFor.c_str(), record.IsRegExp ? "RegExp" : "string",
               record.ReplaceWith.c_str(), record.Files.c_str()));
    if (FProductRoot.empty()) {
      Logger().Error(Format("  %s: Product folder is unknown, no files processed", "StrReplace"));
    } else {
      std::string mask = TgmFileUtil::NormalizePath(JoinPath(FProductRoot, record.Files));
      if (!InsideFolders(TgmFileUtil::ExtractFilePath(mask), true)) {
        Logger().Error(
            Format("  %s: Mask \"%s\" lies outside the product and shell folders, refused",
                   "StrReplace", JoinPath(FProductRoot, record.Files).c_str()));
      } else if (std::string folder = TgmFileUtil::ExtractFilePath(mask);
                 PassesThroughLink(folder, InsideFolders(folder, false))) {
        Logger().Error(Format("  %s: Mask \"%s\" passes through a link, refused", "StrReplace",
                              JoinPath(FProductRoot, record.Files).c_str()));
      } else {
        TSlv2StrReplaceData& data = record;
        TgmFileUtil::EnumFiles(
            mask, fs::kAttrAnyFile, 0,
            [&](const std::string& file, uint32_t) {
              cancel::CheckPoint();
              ReplaceInFile(data, file);
              return false;
            },
            true);
      }
    }
    Logger().Debug(Format("%s: Operation finished", "StrReplace"));
  }
}

void TSlv2Updater::ReplaceInFile(TSlv2StrReplaceData& record, const std::string& fileName) {
  // A folder the mask matched holds no text to replace.
  if (TgmFileUtil::DirectoryExists(fileName)) {
    return Warning(
        Format("  %s: \"%s\" is a folder, no text replaced", "StrReplace", fileName.c_str()));
  }
  std::string text;
  bool tooLarge = ListedSize(fileName) > static_cast<uint64_t>(kMaxReplaceSize);
  // A folder the mask matched is not read and has no system reason.
  fs::SetLastError(kErrorSuccess);
  bool read = !tooLarge && ReadFileToString(fileName, text, 1, 0, kMaxReplaceSize + 1);
  if (!read || static_cast<int64_t>(text.size()) > kMaxReplaceSize) {
    Logger().Error(
        WithReason(Format("  %s: Error reading file \"%s\"", "StrReplace", fileName.c_str()),
                   read || tooLarge ? kErrorSuccess : fs::LastError()));
    return;
  }
  std::string result;
  int count = 0;
  if (record.IsRegExp) {
    bool matched = false;
    TPcreRegExp& regExp = record.CompiledRegExp();
    // The matcher recurses on the stack for every repetition of a group: on
    // a stack of its own a long file is searched whole.
    RunWithStack(kReplaceStack, [&] {
      result = RegExReplaceAll(text, regExp, record.ReplaceWith, count, matched);
    });
    if (regExp.MatchFailed()) {
      cancel::CheckPoint();  // the search stopped for the run's end
      // The file stays as it is: what was replaced before the matcher gave
      // up is not the whole replacement.
      Logger().Error(Format("  %s: Error searching file \"%s\": the regular expression reached %s",
                            "StrReplace", fileName.c_str(), regExp.MatchFailure().c_str()));
      return;
    }
  } else {
    result = ReplaceAll(text, record.SearchFor, record.ReplaceWith, record.IgnoreCase, &count);
  }
  text = std::string();
  TSlv2Outcome outcome(TSlv2OutcomeKind::TextReplace, fileName);
  outcome.count = count;
  if (Effects().WriteText(fileName, result, std::move(outcome))) {
    Logger().Debug(
        Format("  %s: File \"%s\" processed successfully", "StrReplace", fileName.c_str()));
  } else {
    Logger().Error(
        WithReason(Format("  %s: Error writing file \"%s\"", "StrReplace", fileName.c_str()),
                   fs::LastError()));
  }
}

void TSlv2Updater::UnpackStorage(const TSlv2UnpackStorageData& record) {
  const char* op = "UnpackStorage";
  Logger().Debug(Format("%s: Operation (unpack \"%s\" to \"%s\") started", op,
                        record.Storage.c_str(), record.Destination.c_str()));
  if (FProductRoot.empty()) {
    Logger().Error(Format("  %s: Product folder is unknown, storage not unpacked", op));
  } else {
    std::string file = JoinPath(FProductRoot, record.Storage);
    std::string normal = TgmFileUtil::NormalizePath(file);
    std::string destination = TgmFileUtil::CombinePath(FProductRoot, record.Destination);
    if (!InsideFolders(normal, false)) {
      Logger().Error(Format("  %s: \"%s\" lies outside the product and shell folders, refused", op,
                            file.c_str()));
    } else if (!InsideFolders(destination, true)) {
      Logger().Error(Format("  %s: \"%s\" lies outside the product and shell folders, refused", op,
                            destination.c_str()));
    } else if (PassesThroughLink(normal, true) ||
               PassesThroughLink(destination, InsideFolders(destination, false))) {
      Logger().Error(Format("  %s: \"%s\" or \"%s\" passes through a link, refused", op,
                            file.c_str(), destination.c_str()));
    } else if (!FileExists(normal)) {
      Logger().Warn(Format("  %s: No storage found for processing", op));
    } else {
      try {
        UnpackStorageFile(normal, destination);
      } catch (...) {
        // The error ends the product's run; the operation still ends here.
        Logger().Debug(Format("%s: Operation finished", op));
        throw;
      }
    }
  }
  Logger().Debug(Format("%s: Operation finished", op));
}

void TSlv2Updater::UnpackStorageFile(const std::string& file, const std::string& destination) {
  const char* op = "UnpackStorage";
  TgmStorageRef storage;
  try {
    storage = TgmStorage::Create(file, stg::kStgmRead | stg::kStgmShareDenyWrite);
  } catch (const std::exception& e) {
    Logger().Error(WithReason(Format("  %s: Error opening storage: %s (%s)", op,
                                     ExceptionClassName(e), ExceptionMessage(e).c_str()),
                              ExceptionSystemError(e)));
    return;
  }
  // A storage that opens but does not come out whole ends the product's run,
  // whose files may need what it holds. It stays, so that nothing it held is
  // lost.
  TSlv2Outcome outcome(TSlv2OutcomeKind::Unpack, file, "to " + destination);
  try {
    std::vector<std::string> streams;
    storage->ListStreams(streams);
    outcome.count = static_cast<int>(streams.size());
    CheckUnpackLimits(*storage, streams, destination);
    int done = Effects().Unpack(*storage, streams, destination, outcome);
    if (done != static_cast<int>(streams.size())) {
      throw ESlvUpdater(Format("Error unpacking storage \"%s\": %d of %d streams unpacked",
                               file.c_str(), done, static_cast<int>(streams.size())));
    }
  } catch (const std::exception& e) {
    Logger().Error(WithReason(Format("  %s: Error unpacking storage: %s (%s)", op,
                                     ExceptionClassName(e), ExceptionMessage(e).c_str()),
                              ExceptionSystemError(e)));
    throw;
  }
  Logger().Debug(Format("  %s: Storage unpacked", op));
  storage.reset();
  if (Effects().RemoveFile(file)) {
    Logger().Debug(Format("  %s: Storage deleted", op));
  } else {
    Logger().Error(WithReason(Format("  %s: Error deleting storage", op), fs::LastError()));
  }
}

}  // namespace slv2
