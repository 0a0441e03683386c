// The shell's Start-menu group: moved into the common Programs folder and its
// 2.0 shortcuts renamed.
#include <vector>

#include "log/LogCategory.h"
#include "products/Slv2MainUpdater.h"
#include "storage/FileUtil.h"
#include "sys/FileLayer.h"
#include "sys/Format.h"
#include "sys/ShFolder.h"
#include "sys/StrUtil.h"
#include "sys/WinError.h"
#include "sys/registry/RegFunctions.h"
#include "updater/Slv2Paths.h"

namespace slv2 {

namespace {

constexpr const char* kCommonGroupName = "Zarvik Solvane";

// Copies every file below `from` to the same place below `to`, overwriting;
// true when every one of them arrived. Links (which no shell makes, but any
// user may plant) are not copied: `links` receives them.
bool CopyGroup(const std::string& from, const std::string& to, std::vector<std::string>* links) {
  std::string mask = JoinPath(from, "*.*");
  size_t prefix = TgmFileUtil::ExtractFilePath(mask).size();
  bool complete = true;
  TgmFileUtil::EnumFiles(
      mask, fs::kAttrAnyFile & ~fs::kAttrDirectory, 0,
      [&](const std::string& file, uint32_t) {
        uint32_t attributes = fs::GetFileAttributes(file);
        if (attributes != fs::kInvalidFileAttributes && (attributes & fs::kAttrReparsePoint)) {
          links->push_back(file);
        } else if (!TgmFileUtil::CopyFile(file, JoinPath(to, file.substr(prefix)), false)) {
          complete = false;
        }
        return false;
      },
      true);
  return complete;
}

bool IsDotEntry(const std::string& path) {
  std::string name = TgmFileUtil::ExtractFileName(path, true);
  return name == "." || name == "..";
}

}  // namespace

void TSlv2MainUpdater::copySlvShortcuts() {
  const char* self = "copySlvShortcuts";
  try {
    std::string key = JoinPath(kSlv21Key, "main");
    std::string oldGroup = GroupFolder();
    if (!CheckFolder(self, "group folder", oldGroup)) return;
    std::string common = GetSpecialFolderPath(kCsidlCommonPrograms, !DryRun());
    if (!CheckFolder(self, "common programs folder", common)) return;
    std::string newGroup = JoinPath(common, kCommonGroupName);
    if (TgmFileUtil::SameFileName(oldGroup, newGroup)) return;
    fs::AnchoredRoot anchorOld(oldGroup), anchorNew(newGroup);
    // Deleting the old group would take the copy with it.
    if (PathWithin(oldGroup, newGroup, false)) {
      Logger().Error(Format("%s(): \"%s\" lies inside \"%s\", shortcuts stay where they are", self,
                            newGroup.c_str(), oldGroup.c_str()));
      return;
    }
    TSlv2Outcome outcome(TSlv2OutcomeKind::Shell, newGroup, "program group moved from " + oldGroup);
    if (DryRun()) {
      FDryGroupFrom = oldGroup;
      FDryGroupTo = newGroup;
      return Record(self, std::move(outcome));
    }
    // The old group goes only when nothing of it would be lost; otherwise
    // the value keeps naming it and the next run tries again.
    std::vector<std::string> links;
    bool copied = CopyGroup(oldGroup, newGroup, &links);
    for (const std::string& link : links) {
      Logger().Warn(Format("%s(): \"%s\" is a link, not copied", self, link.c_str()));
    }
    if (!copied) {
      Logger().Error(Format("%s(): shortcuts not copied completely from \"%s\" to \"%s\"", self,
                            oldGroup.c_str(), newGroup.c_str()));
      outcome.failure = "not copied completely";
      return Record(self, std::move(outcome));
    }
    // The old group goes before the value names the new one: a run killed
    // in between finds the value still naming the old group, copies what is
    // left of it (nothing, or shortcuts the new group already holds) and
    // finishes the move; the other order would forget the old group.
    TgmFileUtil::DeleteTree(oldGroup);
    RegWriteString(reg::kHkeyLocalMachine, key, "group", newGroup);
    Record(self, std::move(outcome));
    Logger().Debug(Format("%s(): shortcuts moved from \"%s\" to \"%s\"", self, oldGroup.c_str(),
                          newGroup.c_str()));
  } catch (const std::exception& e) {
    LogFailed(self, e);
  }
}

void TSlv2MainUpdater::adjustSlvShortcutsNames() {
  const char* self = "adjustSlvShortcutsNames";
  try {
    std::string group = GroupFolder();
    if (!CheckFolder(self, "group folder", group)) return;
    fs::AnchoredRoot anchor(group);
    std::vector<std::string> listed;
    BuildFileList(JoinPath(group, "*.*"), 0, listed, TAttrMatch::Any,
                  TFileListOption::FullNames | TFileListOption::Recursive);
    std::vector<std::string> entries;
    for (std::string& entry : listed) {
      if (!IsDotEntry(entry)) entries.push_back(std::move(entry));
    }
    if (entries.empty()) {
      Logger().Warn(Format("%s(): found no files in \"%s\" group folder", self, group.c_str()));
      return;
    }
    // The whole list is taken before the first rename: an entry of a folder
    // renamed earlier is looked for under its old path and stays as it is.
    for (std::string entry : entries) {
      // A dry run sees the group where the move would have put it.
      if (DryRun() && !FDryGroupFrom.empty() && TgmFileUtil::SameFileName(group, FDryGroupFrom))
        entry = FDryGroupTo + entry.substr(group.size());
      std::string target = ReplaceAll(entry, "Solvane 2.0", "Solvane 2.1", false);
      if (target == entry) continue;
      TSlv2Outcome outcome(TSlv2OutcomeKind::Shell, target, "renamed from " + entry);
      if (!DryRun() && fs::MoveFile(entry, target)) {
        Logger().Debug(
            Format("%s(): renamed \"%s\" to \"%s\"", self, entry.c_str(), target.c_str()));
      } else if (!DryRun()) {
        outcome.failure = SysErrorMessage(fs::LastError());
      }
      Record(self, std::move(outcome));
    }
  } catch (const std::exception& e) {
    LogFailed(self, e);
  }
}

}  // namespace slv2
