#include "app/UpdateSession.h"

#include <chrono>
#include <exception>
#include <iostream>

#include "app/AdminRights.h"
#include "app/CancelSignals.h"
#include "app/ExitStatus.h"
#include "app/MachineIdentity.h"
#include "app/ReportFacts.h"
#include "app/ShellWindow.h"
#include "products/Slv2Catalogue.h"
#include "storage/FileUtil.h"
#include "sys/Cp1251.h"
#include "sys/Exception.h"
#include "sys/FileLayer.h"
#include "sys/Format.h"
#include "sys/StrUtil.h"
#include "sys/registry/RegFunctions.h"
#include "updater/Slv2Cancel.h"
#include "updater/Slv2IniFile.h"
#include "updater/Slv2Reason.h"
#include "updater/Slv2TempFile.h"

namespace slv2 {

namespace {

// Memo texts (program text, made once from the UTF-8 of this file).
struct TMemoTexts {
  std::string heading = Utf8ToAnsi("Установленные продукты, подлежащие обновлению:");
  std::string product = Utf8ToAnsi("Обновление продукта \"%s\"...");
  std::string finishing = "%s...";
  std::string ok = "OK";
  std::string error = Utf8ToAnsi("ОШИБКА: %s (%s)");
  std::string skipped = Utf8ToAnsi("Продукт \"%s\" не будет обновлён. ОШИБКА: %s (%s)");
  std::string interrupted = Utf8ToAnsi("ПРЕРВАНО");
  std::string cancelled =
      Utf8ToAnsi("Обновление прервано (%s): следующие продукты не обновлялись.");
  std::string dryRun = Utf8ToAnsi("Пробный запуск: ничего не изменено.");
};

const TMemoTexts& Texts() {
  static const TMemoTexts texts;
  return texts;
}

std::string ErrorText(const char* format, const std::string& name, const std::exception& e) {
  return Format(format, name.c_str(), ExceptionClassName(e), ExceptionMessage(e).c_str());
}

// The steps of every product write to the shell folder, and a folder that is
// not a full path would put them below whatever the current folder happens
// to be: such a product is left out. A product folder alone that is unknown
// only skips the steps that need it (TSlv2Updater::Update).
void RequireShellFolder(const TSlv2Updater& updater) {
  if (updater.Slv21Root().empty()) throw ESlvUpdater("The shell folder is unknown");
  if (!IsAbsolutePath(updater.Slv21Root())) {
    throw ESlvUpdater(
        Format("The shell folder \"%s\" is not a full path", updater.Slv21Root().c_str()));
  }
}

}  // namespace

TSessionOptions DefaultSessionOptions(std::string packageFolder) {
  TSessionOptions options;
  options.packageFolder = std::move(packageFolder);
  options.catalogue = UpdaterCatalogue();
  options.isAdministrator = IsUserAdministrator;
  options.isShellRunning = IsShellWindowOpen;
  options.lockRun = TRunLock::TryAcquire;
  options.checkRegistry = RegCheckRegistry;
  return options;
}

TUpdateSession::TUpdateSession(TUpdateUi& ui, TSessionOptions options)
    : FUi(ui), FOptions(std::move(options)), FExitStatus(kExitCancelled) {
  FReport.programVersion = FOptions.programVersion;
  FReport.host = MachineHostName();
  FReport.user = MachineUserName();
  FReport.startTime = UtcTimeNow();
  FReport.dryRun = FOptions.dryRun;
}

TUpdateSession::~TUpdateSession() {
  // A window closed before the run: the window is going, so a report that
  // cannot be written is said on the standard error.
  WriteReport(false);
}

void TUpdateSession::FormShow() {
  // Once per start, also when messages processed meanwhile ask again.
  if (FStarted) return;
  FStarted = true;
  SetState(TSessionState::Checking);
  try {
    if (!CheckAdminRights()) {
      FUi.ShowMessageBox(MessageBoxOf(TBoxId::AdminRights));
      return Terminate(kExitNotAdministrator);
    }
    if (!LockRun()) {
      FUi.ShowMessageBox(MessageBoxOf(TBoxId::AlreadyRunning));
      return Terminate(kExitAlreadyRunning);
    }
    FOptions.checkRegistry();
    CreateUpdaters();
    ShowInstalledProducts();
    if (FUpdaters.empty()) {
      if (!FFailed)
        FReport.reason = NothingToUpdateReason(FOptions.catalogue, FOptions.packageFolder);
      FUi.ShowMessageBox(MessageBoxOf(TBoxId::NothingToUpdate));
      // A product left out for an error is not "nothing to update".
      return Terminate(FFailed ? kExitFailed : kExitNothingToUpdate);
    }
    if (!CheckShellNotRunning()) {
      return Terminate(FOptions.unattended ? kExitShellRunning : kExitCancelled);
    }
  } catch (const std::exception& e) {
    FUi.ShowError(ExceptionMessage(e));
    return Terminate(kExitFailed);
  }
  SetState(TSessionState::Ready);
}

bool TUpdateSession::CheckAdminRights() {
  return FOptions.isAdministrator();
}

bool TUpdateSession::LockRun() {
  FRunLock = FOptions.lockRun();
  return FRunLock != nullptr;
}

void TUpdateSession::CreateUpdaters() {
  for (const TSlv2UpdaterClass* type : FOptions.catalogue)
    AddUpdaterIfInstalled(*type);
}

void TUpdateSession::AddUpdaterIfInstalled(const TSlv2UpdaterClass& type) {
  // Registry errors of the installation test itself end the start-up; an
  // updater that cannot be built or whose storage does not open is left
  // out, so that one damaged storage does not keep the other products back.
  if (!TSlv2Helper::IsProductInstalled(type.GetProductId())) return;
  std::string storageFile = UpdaterStorageFile(type, FOptions.packageFolder);
  if (!FileExists(storageFile)) return;
  std::unique_ptr<TSlv2Updater> updater;
  TProductReport& product = AddProduct(type, storageFile);
  try {
    updater = type.Create();
    RequireShellFolder(*updater);
    updater->SetStorageFileName(storageFile);
    if (FOptions.dryRun) updater->UseEffects(MakeRecordingEffects(updater->Logger(), FOverlay));
  } catch (const std::exception& e) {
    FFailed = true;
    product.message = ExceptionMessage(e);
    AddLine(ErrorText(Texts().skipped.c_str(), type.GetProductName(), e));
    return;
  }
  product.message = "not run";
  FUpdaters.push_back({type.GetProductName(), std::move(updater), FReport.products.size() - 1});
}

TProductReport& TUpdateSession::AddProduct(const TSlv2UpdaterClass& type,
                                           const std::string& storageFile) {
  TProductReport& product = FReport.products.emplace_back();
  product.id = type.GetProductId();
  product.name = type.GetProductName();
  product.storageFile = storageFile;
  fs::DirListing listing(storageFile);
  fs::FindData found;
  if (listing.Next(&found)) product.storageSize = static_cast<int64_t>(found.size);
  product.result = "skipped";
  DescribeProduct(type, product);
  return product;
}

void TUpdateSession::ShowInstalledProducts() {
  AddLine("");
  AddLine(Texts().heading);
  for (const TEntry& entry : FUpdaters) {
    if (!entry.updater->UpdaterClass().IsShellFinish()) AddLine("  " + entry.displayName);
  }
  AddLine("");
}

bool TUpdateSession::CheckShellNotRunning() {
  while (FOptions.isShellRunning()) {
    if (FUi.ShowMessageBox(MessageBoxOf(TBoxId::ShellRunning)) != TBoxAnswer::Ok) return false;
  }
  return true;
}

void TUpdateSession::RunUpdates() {
  if (FState != TSessionState::Ready) return;
  SetState(TSessionState::Running);
  TCancelSignals::RunStarts();
  FRunStart = std::chrono::system_clock::now();
  bool cancelled = false;
  {
    // Leaves the running state, and lets the next update start, also when an
    // error escapes the loop.
    struct TRunningGuard {
      TUpdateSession& session;
      ~TRunningGuard() {
        session.FRunLock.reset();
        session.SetState(TSessionState::Done);
      }
    } guard{*this};
    try {
      for (TEntry& entry : FUpdaters) {
        cancel::CheckPoint();
        RunUpdater(entry);
      }
    } catch (const TRunCancelled& request) {
      // Everything that was running is finished or rolled back by now.
      AddLine(
          Format(Texts().cancelled.c_str(), TCancelSignals::ReasonName(request.Reason()).c_str()));
      cancelled = true;
    }
  }
  if (cancelled) {
    TCancelSignals::RunEnds(kExitCancelled);
    return Terminate(kExitCancelled);
  }
  FExitStatus = FFailed ? kExitFailed : kExitUpdated;
  if (std::string lost = FOptions.logFailure ? FOptions.logFailure() : ""; !lost.empty()) {
    FUi.ShowError(lost);
    FExitStatus = kExitFailed;
  }
  if (FOptions.dryRun) AddLine(Texts().dryRun);
  WriteReport();
  TCancelSignals::RunEnds(FExitStatus);
  FUi.ShowMessageBox(MessageBoxOf(TBoxId::UpdateFinished));
}

void TUpdateSession::RunUpdater(TEntry& entry) {
  const char* format = entry.updater->UpdaterClass().IsShellFinish() ? Texts().finishing.c_str()
                                                                     : Texts().product.c_str();
  AddLine(Format(format, entry.displayName.c_str()));
  TProductReport& product = FReport.products[entry.report];
  // What the updater did, also when it ended with an error.
  struct TKeepOutcomes {
    TProductReport& product;
    const TSlv2Updater& updater;
    ~TKeepOutcomes() {
      product.outcomes = updater.Outcomes();
      product.errorLines = updater.ErrorLines();
      product.warnings = updater.Warnings();
    }
  } keep{product, *entry.updater};
  try {
    // What a killed run left where this one is about to write, and in the
    // system's temporary folder (registry scripts), but not below it: other
    // programs keep their own folders there. A dry run leaves even that.
    if (!FOptions.dryRun) {
      if (!FTempSwept) {
        std::vector<std::string> once;
        RemoveLeftoverTempFiles(TgmFileUtil::GetTempFolder(), once, entry.updater->Logger(),
                                FRunStart, false);
        FTempSwept = true;
      }
      for (const std::string* folder :
           {&entry.updater->Slv21Root(), &entry.updater->ProductRoot()}) {
        if (!folder->empty())
          RemoveLeftoverTempFiles(*folder, FSweptFolders, entry.updater->Logger(), FRunStart);
      }
    }
    entry.updater->Update();
  } catch (const TRunCancelled&) {
    product.result = "error";
    product.errorClass = "TRunCancelled";
    product.message = "the run was cancelled";
    AppendToLastLine(Texts().interrupted);
    throw;
  } catch (const std::exception& e) {
    FFailed = true;
    product.result = "error";
    product.errorClass = ExceptionClassName(e);
    product.message = ExceptionMessage(e);
    AppendToLastLine(
        Format(Texts().error.c_str(), ExceptionClassName(e), ExceptionMessage(e).c_str()));
    ListOutcomes(*entry.updater);
    return;
  }
  product.result = "ok";
  product.message.clear();
  AppendToLastLine(Texts().ok);
  ListOutcomes(*entry.updater);
}

void TUpdateSession::ListOutcomes(const TSlv2Updater& updater) {
  if (!FOptions.dryRun) return;
  for (const TSlv2Outcome& outcome : updater.Outcomes()) {
    for (const std::string& line : SplitTextLines(OutcomeLine(outcome)))
      AddLine("    " + line);
  }
}

void TUpdateSession::SetState(TSessionState state) {
  FState = state;
  FUi.ShowState(state);
}

void TUpdateSession::Terminate(int exitStatus) {
  FExitStatus = exitStatus;
  WriteReport();
  TCancelSignals::RunEnds(FExitStatus);  // a request from now on ends with this status
  FRunLock.reset();
  SetState(TSessionState::Terminated);
  FUi.Terminate();
}

void TUpdateSession::WriteReport(bool interfaceAlive) {
  if (FOptions.reportFile.empty() || FReportWritten) return;
  FReportWritten = true;
  RecordVersionsAfter(FReport);
  for (TProductReport& product : FReport.products) {
    if (product.result == "skipped" && product.message == "not run" &&
        FExitStatus == kExitCancelled) {
      product.message = "the run was cancelled";
    }
  }
  FReport.endTime = UtcTimeNow();
  FReport.exitStatus = FExitStatus;
  if (WriteRunReport(FReport, FOptions.reportFile)) return;
  // The tool that reads the report would take the run for one that did
  // not happen: it must not pass for a success.
  std::string error = WithReason(
      Format("The report \"%s\" cannot be written", FOptions.reportFile.c_str()), fs::LastError());
  if (interfaceAlive) {
    FUi.ShowError(error);
  } else {
    std::cerr << AnsiToUtf8(error) << std::endl;
  }
  if (FExitStatus == kExitUpdated) FExitStatus = kExitFailed;
}

void TUpdateSession::AddLine(const std::string& text) {
  FUi.AddLine(text);
  FUi.ProcessMessages();
}

void TUpdateSession::AppendToLastLine(const std::string& text) {
  FUi.AppendToLastLine(text);
  FUi.ProcessMessages();
}

}  // namespace slv2
