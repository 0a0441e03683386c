// slv2update: brings the installed products of the family up to date from
// the update storages beside it (or in --package-dir), in its window or, for
// unattended use, in the terminal.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "app/CancelSignals.h"
#include "app/ConsoleUi.h"
#include "app/ExitStatus.h"
#include "app/MainWindow.h"
#include "app/ProgramOptions.h"
#include "app/ProgramSetup.h"
#include "app/UpdateSession.h"
#include "app/main/ProgramProcess.h"
#include "sys/Cp1251.h"
#include "sys/Exception.h"
#include "sys/registry/RegApi.h"

#ifndef SLV2_VERSION
#define SLV2_VERSION "unknown"
#endif

namespace {

int Fail(int status, const std::string& message) {
  std::fprintf(stderr, "slv2update: %s\n", message.c_str());
  return status;
}

int Run(int& argc, char** argv) {
  using namespace slv2;
  TProgramOptions options;
  std::string error;
  bool parsed = ParseProgramOptions(ProgramArguments(argc, argv), options, error);
  // Everything but the window talks to the terminal, and so does a log that
  // cannot be written.
  TProgramProcess process(!parsed || options.mode != TRunMode::Window || !options.logFile.empty());
  if (!parsed) {
    std::fprintf(stderr, "slv2update: %s\n%s", error.c_str(), ProgramUsage().c_str());
    return kExitInvalidCommand;
  }
  if (options.mode == TRunMode::Help) {
    std::fputs(ProgramUsage().c_str(), stdout);
    return 0;
  }
  if (options.mode == TRunMode::Version) {
    std::printf("slv2update %s\n", SLV2_VERSION);
    return 0;
  }
  std::string folder;
  if (!ResolvePackageFolder(options.packageDir, folder, error)) {
    return Fail(kExitInvalidCommand, error);
  }
  TSessionOptions session = DefaultSessionOptions(folder);
  session.dryRun = options.dryRun;
  if (options.dryRun) reg::NeverCreateRegistry();
  session.programVersion = SLV2_VERSION;
  if (!options.reportFile.empty() &&
      !ResolveReportFile(options.reportFile, session.reportFile, error)) {
    return Fail(kExitInvalidCommand, error);
  }
  if (!options.logFile.empty() && !CheckLogFile(options.logFile, error)) {
    return Fail(kExitInvalidCommand, error);
  }
  if (!options.logFile.empty()) {
    std::shared_ptr<TLogFileAppender> log =
        AttachDiagnosticLog(options.logFile, session.catalogue, error);
    if (!log) return Fail(kExitFailed, error);
    session.logFailure = [log] { return log->Failure(); };
  }
  if (options.mode == TRunMode::Window) return RunMainWindow(argc, argv, std::move(session));
  return RunConsole(std::move(session), options.mode == TRunMode::Console);
}

}  // namespace

int main(int argc, char** argv) {
  // First of all, and never taken away: a request to end the program at any
  // moment ends it with the status of that moment (ExitStatus.h), never with
  // the signal's own death. std::exit leaves main's objects standing, so the
  // handlers stay through the program's last clean-up.
  slv2::TCancelSignals signals;
  int status;
  try {
    status = Run(argc, argv);
  } catch (const std::exception& e) {
    status = Fail(slv2::kExitFailed, slv2::AnsiToUtf8(slv2::ExceptionMessage(e)));
  }
  std::exit(status);
}
