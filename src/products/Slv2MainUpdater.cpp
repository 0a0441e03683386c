#include "products/Slv2MainUpdater.h"

#include "log/LogCategory.h"
#include "storage/FileUtil.h"
#include "sys/Cp1251.h"
#include "sys/Format.h"
#include "sys/Process.h"
#include "sys/StrUtil.h"
#include "sys/registry/RegFunctions.h"
#include "sys/registry/RegistryUtil.h"
#include "updater/Slv2Cancel.h"

namespace slv2 {

namespace {

constexpr const char* kOldUninstallKey =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zarvik:Solvane 2.0";
constexpr const char* kNewUninstallKey =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zarvik:Solvane 2.1";

const char* Existence(bool exists) {
  return exists ? "already exists" : "does not exist";
}

// "/", "\", "C:\", "\\server\share": what a folder value must never be,
// since the steps would then act on a whole drive.
bool IsRootFolder(const std::string& folder) {
  std::string path = TgmFileUtil::NormalizePath(folder);
  while (!path.empty() && (path.back() == '\\' || path.back() == '/'))
    path.pop_back();
  if (path.empty()) return true;
  if (path.size() == 2 && path[1] == ':') return true;
  if (path.starts_with("\\\\")) {
    size_t share = path.find('\\', 2);
    return share == std::string::npos || path.find('\\', share + 1) == std::string::npos;
  }
  return false;
}

}  // namespace

const TSlv2UpdaterClass& TSlv2MainUpdater::Class() {
  static const TSlv2UpdaterClass type("TSlv2MainUpdater", "main",
                                      Utf8ToAnsi("Оболочка Zarvik:Solvane"), "", false,
                                      MakeUpdater<TSlv2MainUpdater>);
  return type;
}

void TSlv2MainUpdater::BeforeExecute() {
  std::string machineKey = Format("HKEY_LOCAL_MACHINE%s", kSlv21Key);
  // A copy a kill cut short is made again (CopyRegKey starts it afresh).
  bool has21 = Effects().KeyExists(reg::kHkeyLocalMachine, kSlv21Key) &&
               !RegKeyCopyIncomplete(reg::kHkeyLocalMachine, kSlv21Key);
  bool has20 = Effects().KeyExists(reg::kHkeyCurrentUser, kSlv20Key);
  Logger().Debug(Format("BeforeExecute(): Slv21 key %s in HKLM", Existence(has21)));
  Logger().Debug(Format("BeforeExecute(): Slv20 key %s in HKCU", Existence(has20)));
  // An existing 2.1 key is the machine's own: it is never merged into.
  if (has21 || !has20) return;
  TSlv2Outcome outcome(TSlv2OutcomeKind::Shell, machineKey,
                       Format("copied from HKEY_CURRENT_USER%s", kSlv20Key));
  if (Effects().CopyKey(reg::kHkeyCurrentUser, kSlv20Key, reg::kHkeyLocalMachine, kSlv21Key,
                        std::move(outcome))) {
    Logger().Debug("BeforeExecute(): Slv20 key copied from HKCU to HKLM");
  } else {
    Logger().Error("BeforeExecute(): Slv20 key not copied completely from HKCU to HKLM");
  }
}

void TSlv2MainUpdater::AfterExecute() {
  try {
    registerSlvAPP();
    if (IsNtFamily()) {
      // Before the renaming, so that it works on the moved group.
      cancel::CheckPoint();
      copySlvShortcuts();
      cancel::CheckPoint();
      allowSlvFilesForEveryone();
    }
    cancel::CheckPoint();
    adjustSlvShortcutsNames();
    cancel::CheckPoint();
    adjustSlvUninstallLabels();
    Logger().Debug(Format("%s() succeeded", "AfterExecute"));
  } catch (const std::exception& e) {
    LogFailed("AfterExecute", e);
  }
}

std::string TSlv2MainUpdater::GroupFolder(const char* operation) {
  std::string group =
      Effects().ReadString(reg::kHkeyLocalMachine, JoinPath(kSlv21Key, "main"), "group");
  // A shell installed without a program group has no shortcuts to update.
  if (group.empty())
    Warning(Format("%s(): the shell names no program group, nothing done", operation));
  return group;
}

bool TSlv2MainUpdater::IsNtFamily() {
  return FSecurityApi->PlatformId() == security::kVerPlatformWin32Nt;
}

bool TSlv2MainUpdater::CheckFolder(const char* operation, const char* what,
                                   const std::string& folder) {
  if (folder.empty()) {
    Logger().Error(Format("%s(): %s is unknown, nothing done", operation, what));
    return false;
  }
  if (IsRootFolder(folder)) {
    Logger().Error(
        Format("%s(): %s \"%s\" is a root folder, nothing done", operation, what, folder.c_str()));
    return false;
  }
  return true;
}

void TSlv2MainUpdater::registerSlvAPP() {
  if (!CheckFolder("registerSlvAPP", "shell folder", Slv21Root())) return;
  std::string server = JoinPath(JoinPath(Slv21Root(), "bin"), "SlvAPP.dll");
  if (!FileExists(server)) return;
  std::string quoted =
      server.find(' ') != std::string::npos ? Format("\"%s\"", server.c_str()) : server;
  uint32_t code =
      Effects().Run(Format("regsvr32.exe /s %s", quoted.c_str()),
                    TSlv2Outcome(TSlv2OutcomeKind::Shell, server, "COM server registered"));
  // Any exit code is only reported: the registration never fails the update.
  // Where regsvr32 cannot run at all (Linux has no COM servers to register)
  // the server stays unregistered, which is said without failing the run.
  if (code == kExecFailed) {
    Effects().Record(TSlv2Outcome(TSlv2OutcomeKind::Shell, server,
                                  "COM server not registered: regsvr32 cannot be run here"));
    Warning(Format("registerSlvAPP(): regsvr32 cannot be run here, %s is not registered",
                   quoted.c_str()));
    return;
  }
  Logger().Debug(Format("registerSlvAPP(): regsvr32 returned %u", code));
}

void TSlv2MainUpdater::adjustSlvUninstallLabels() {
  try {
    if (!Effects().KeyExists(reg::kHkeyLocalMachine, kOldUninstallKey)) return;
    TSlv2Outcome outcome(
        TSlv2OutcomeKind::Shell, Format("HKEY_LOCAL_MACHINE%s", kNewUninstallKey),
        Format("uninstall entry moved from HKEY_LOCAL_MACHINE%s", kOldUninstallKey));
    // Labelled before the move: a run killed in between leaves the entry
    // for the next run to move; moved first, it would leave the old label
    // on the new entry, which no later run looks at.
    Effects().WriteString(reg::kHkeyLocalMachine, kOldUninstallKey, "DisplayName",
                          "Zarvik:Solvane 2.1");
    if (!Effects().MoveKey(reg::kHkeyLocalMachine, kOldUninstallKey, reg::kHkeyLocalMachine,
                           kNewUninstallKey, std::move(outcome))) {
      Logger().Error(Format("%s(): uninstall entry not moved from \"%s\" to \"%s\"",
                            "adjustSlvUninstallLabels", kOldUninstallKey, kNewUninstallKey));
      return;
    }
  } catch (const std::exception& e) {
    LogFailed("adjustSlvUninstallLabels", e);
  }
}

}  // namespace slv2
