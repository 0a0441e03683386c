// The shell's updater ("main"): first in every run. Before the fixed steps it
// copies the family's per-user 2.0 key to the per-machine 2.1 key, unless the
// 2.1 key exists already. After them it registers the shell's COM server, on
// NT-family systems moves the Start-menu group into the common Programs
// folder and opens the shell's folder tree to all users, renames the 2.0
// shortcuts and relabels the uninstall entry.
//
// Each step after the fixed ones logs its own failures and lets the next one
// run; only an exception out of registerSlvAPP skips the rest. A step whose
// starting folder is unknown or the root of a drive or file system logs an
// error line and does nothing.
#pragma once

#include <cstdint>
#include <string>

#include "products/SecurityApi.h"
#include "updater/Slv2Updater.h"

namespace slv2 {

class TSlv2MainUpdater : public TSlv2Updater {
 public:
  static const TSlv2UpdaterClass& Class();
  explicit TSlv2MainUpdater(const TSlv2UpdaterClass& type = Class()) : TSlv2Updater(type) {}

  void BeforeExecute() override;
  void AfterExecute() override;

  // The layer that tells the platform and writes access lists: the
  // platform's own unless replaced; it must outlive the updater.
  void SetSecurityApi(security::SecurityApi& api) { FSecurityApi = &api; }

 protected:
  static constexpr const char* kSlv21Key = "\\Software\\Zarvik\\Solvane 2.1";
  static constexpr const char* kSlv20Key = "\\Software\\Zarvik\\Solvane";

  // Windows NT and its successors (and Linux, which keeps access lists).
  bool IsNtFamily();

  // Runs "regsvr32.exe /s" on bin\SlvAPP.dll of the shell folder when the
  // file exists and logs its exit code; raises what the logging raises.
  void registerSlvAPP();
  // Moves the group named by the shell's "group" value into the common
  // Programs folder and points the value there.
  void copySlvShortcuts();
  // Full control for Everyone on every file and folder below the shell
  // folder, then on the shell folder itself (TreeRights.h).
  void allowSlvFilesForEveryone();
  // "Solvane 2.0" becomes "Solvane 2.1" in the names below the group folder,
  // each name once (the group's own name stays).
  void adjustSlvShortcutsNames();
  // Moves the 2.0 uninstall entry to the 2.1 one and relabels it.
  void adjustSlvUninstallLabels();

  // The shell's "group" value: the Start-menu group folder. Without one
  // (empty), a warning of `operation` says there is nothing to do.
  std::string GroupFolder(const char* operation);

  // False, with an error line of `operation`, for an unknown folder or the
  // root of a drive or file system; `what` names the folder in the line.
  bool CheckFolder(const char* operation, const char* what, const std::string& folder);

 private:
  security::SecurityApi* FSecurityApi = &security::PlatformSecurityApi();
};

}  // namespace slv2
