// The shell's Start-menu group: moved into the common Programs folder and its
// 2.0 shortcuts renamed.
#include <algorithm>
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

// How many folders down a listed path lies.
size_t Depth(const std::string& path) {
  return static_cast<size_t>(
      std::count_if(path.begin(), path.end(), [](char c) { return c == '/' || c == '\\'; }));
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
    std::string oldGroup = GroupFolder(self);
    if (oldGroup.empty() || !CheckFolder(self, "group folder", oldGroup)) return;
    std::string common = Effects().SpecialFolder(kCsidlCommonPrograms);
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
    // The old group goes only when nothing of it would be lost; otherwise
    // the value keeps naming it and the next run tries again.
    std::vector<std::string> links;
    bool moved = Effects().MoveFolder(oldGroup, newGroup, links, std::move(outcome));
    for (const std::string& link : links) {
      Logger().Warn(Format("%s(): \"%s\" is a link, not copied", self, link.c_str()));
    }
    if (!moved) {
      Logger().Error(Format("%s(): shortcuts not copied completely from \"%s\" to \"%s\"", self,
                            oldGroup.c_str(), newGroup.c_str()));
      return;
    }
    // The old group goes before the value names the new one: a run killed
    // in between finds the value still naming the old group, copies what is
    // left of it (nothing, or shortcuts the new group already holds) and
    // finishes the move; the other order would forget the old group.
    Effects().WriteString(reg::kHkeyLocalMachine, key, "group", newGroup);
    Logger().Debug(Format("%s(): shortcuts moved from \"%s\" to \"%s\"", self, oldGroup.c_str(),
                          newGroup.c_str()));
  } catch (const std::exception& e) {
    LogFailed(self, e);
  }
}

void TSlv2MainUpdater::adjustSlvShortcutsNames() {
  const char* self = "adjustSlvShortcutsNames";
  try {
    std::string group = GroupFolder(self);
    if (group.empty() || !CheckFolder(self, "group folder", group)) return;
    // Where the group's shortcuts are now: elsewhere only when a dry run
    // moved the group.
    std::string located = Effects().Located(group);
    fs::AnchoredRoot anchor(located);
    std::vector<std::string> listed;
    BuildFileList(JoinPath(located, "*.*"), 0, listed, TAttrMatch::Any,
                  TFileListOption::FullNames | TFileListOption::Recursive);
    std::vector<std::string> entries;
    for (std::string& entry : listed) {
      if (!IsDotEntry(entry)) entries.push_back(std::move(entry));
    }
    if (entries.empty()) {
      Warning(Format("%s(): found no files in \"%s\" group folder", self, group.c_str()));
      return;
    }
    // Each entry's own name, deepest first: a folder is renamed only after
    // everything in it, so every rename works on the paths listed before the
    // first (which a dry run, renaming nothing, uses as well).
    std::stable_sort(
        entries.begin(), entries.end(),
        [](const std::string& a, const std::string& b) { return Depth(a) > Depth(b); });
    for (std::string entry : entries) {
      entry = group + entry.substr(located.size());
      std::string name = TgmFileUtil::ExtractFileName(entry, true);
      std::string renamed = ReplaceAll(name, "Solvane 2.0", "Solvane 2.1", false);
      if (renamed == name) continue;
      std::string target = TgmFileUtil::ExtractFilePath(entry) + renamed;
      TSlv2Outcome outcome(TSlv2OutcomeKind::Shell, target, "renamed from " + entry);
      if (Effects().Rename(entry, target, std::move(outcome))) {
        Logger().Debug(
            Format("%s(): renamed \"%s\" to \"%s\"", self, entry.c_str(), target.c_str()));
      }
    }
  } catch (const std::exception& e) {
    LogFailed(self, e);
  }
}

}  // namespace slv2
