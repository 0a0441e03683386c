// One start of the update program behind any user interface: the start-up
// sequence (rights, the machine-wide lock of the run, the installed products
// with a storage in the package folder, the product list, nothing to update,
// the running shell), the run of every updater in catalogue order with one
// protocol line each, and the exit status. Single-threaded; long work runs
// on the caller's thread and lets the interface process its messages after
// every memo line.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/RunLock.h"
#include "app/RunReport.h"
#include "app/UpdateUi.h"
#include "updater/Slv2Updater.h"

namespace slv2 {

struct TSessionOptions {
  // Where the update storages are (program text).
  std::string packageFolder;
  // The updater types in registration order.
  std::vector<const TSlv2UpdaterClass*> catalogue;
  // The platform checks (AdminRights.h, ShellWindow.h).
  std::function<bool()> isAdministrator;
  std::function<bool()> isShellRunning;
  // The machine-wide lock (RunLock.h): nullptr while another update holds it.
  std::function<std::unique_ptr<TRunLock>()> lockRun;
  // Raises when the registry cannot serve the run (RegFunctions.h).
  std::function<void()> checkRegistry;
  // Nobody answers the boxes: a running shell ends with kExitShellRunning,
  // to be retried later, instead of kExitCancelled.
  bool unattended = false;
  // Every step decided, nothing changed; each product's line is followed by
  // what it would do (recording effects, updater/Slv2Effects.h).
  bool dryRun = false;
  // Where the run's report goes when the program ends (program text; empty:
  // none), and the version it names.
  std::string reportFile;
  std::string programVersion;
  // Why the detailed log lost lines during the run ("" when it did not or
  // there is none): such a run fails, since it cannot be audited.
  std::function<std::string()> logFailure;
};

// The catalogue's types and the platform checks, with the package folder.
TSessionOptions DefaultSessionOptions(std::string packageFolder);

class TUpdateSession {
 public:
  TUpdateSession(TUpdateUi& ui, TSessionOptions options);
  ~TUpdateSession();
  TUpdateSession(const TUpdateSession&) = delete;
  TUpdateSession& operator=(const TUpdateSession&) = delete;

  // The start-up sequence, when the window is first shown. A failed check
  // shows its box and asks the interface to terminate. The lock of the run is
  // taken before anything is looked at and held until the run ends; then the
  // registry must be usable (an error otherwise, never "nothing installed"). An
  // updater that cannot be created, whose shell folder is not a full path,
  // or whose storage does not open is left out with a memo line; the others
  // go on.
  void FormShow();
  // The run button (or Enter): every updater in order (TSlv2Updater::Update:
  // a product whose steps logged errors ends its line with the error), then
  // box 65185; once per program start, never while running. A request to end
  // the run (CancelSignals.h) ends it at its next safe point: the product's
  // line and a last line say so, and the program ends with kExitCancelled.
  void RunUpdates();
  // The close query: closing is allowed except during a run.
  bool CanClose() const { return FState != TSessionState::Running; }

  // kExitUpdated after a run in which every product was updated; see
  // ExitStatus.h. A window closed before the run gives kExitCancelled.
  int ExitStatus() const { return FExitStatus; }

 private:
  struct TEntry {
    std::string displayName;
    std::unique_ptr<TSlv2Updater> updater;
    size_t report = 0;  // its product in the run's report
  };
  bool CheckAdminRights();
  bool LockRun();
  void CreateUpdaters();
  void AddUpdaterIfInstalled(const TSlv2UpdaterClass& type);
  void ShowInstalledProducts();
  bool CheckShellNotRunning();
  void RunUpdater(TEntry& entry);
  // A dry run's memo lines of what the product would have done.
  void ListOutcomes(const TSlv2Updater& updater);
  void SetState(TSessionState state);
  TProductReport& AddProduct(const TSlv2UpdaterClass& type, const std::string& storageFile);
  // Writes the report once, when one is asked for; a report that cannot be
  // written is shown as an error (on the standard error once the interface
  // is gone) and turns a successful exit status into kExitFailed.
  void WriteReport(bool interfaceAlive = true);
  void Terminate(int exitStatus);
  // The memo lines; both let the interface process its messages afterwards.
  void AddLine(const std::string& text);
  void AppendToLastLine(const std::string& text);

  TUpdateUi& FUi;
  TSessionOptions FOptions;
  std::vector<TEntry> FUpdaters;
  std::unique_ptr<TRunLock> FRunLock;
  TSessionState FState = TSessionState::Checking;
  bool FStarted = false;
  bool FFailed = false;  // a product was left out or its run failed
  // The folder trees cleared of what a killed run left.
  std::vector<std::string> FSweptFolders;
  // When the run started: the sweep leaves what was written since. The
  // system's temporary folder is swept once.
  std::chrono::system_clock::time_point FRunStart;
  bool FTempSwept = false;
  TRunReport FReport;
  // What the dry run's updaters would have changed, for those after them.
  std::shared_ptr<TSlv2Overlay> FOverlay = MakeOverlay();
  bool FReportWritten = false;
  int FExitStatus;
};

}  // namespace slv2
