// Fixtures of the shell updater tests: a registry, a shell folder and an
// applications menu in temporary folders, a stand-in regsvr32 on the PATH,
// and a log that fails on demand. They stand on Linux's own means (XDG
// folders, shell scripts), so the tests that use them are Linux's.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FakeSecurityApi.h"
#include "ProductFixture.h"
#include "products/Slv2MainFinishUpdater.h"
#include "sys/registry/RegFunctions.h"

namespace slv2::test {

// While the object lives, the first message of the category that begins with
// `prefix` raises ESlvUpdater("the log is full") out of its log call.
class FailingLog {
 public:
  FailingLog(const std::string& category, const std::string& prefix);
  ~FailingLog();
  FailingLog(const FailingLog&) = delete;
  FailingLog& operator=(const FailingLog&) = delete;

 private:
  class Appender;
  std::shared_ptr<Appender> appender_;
};

// The shell's steps made callable, on an updater created from the registry.
template <class Base>
class OpenShellUpdater : public Base {
 public:
  explicit OpenShellUpdater(security::SecurityApi* api = nullptr) {
    this->Create();
    if (api) this->SetSecurityApi(*api);
  }
  using Base::adjustSlvShortcutsNames;
  using Base::adjustSlvUninstallLabels;
  using Base::allowSlvFilesForEveryone;
  using Base::CheckFolder;
  using Base::copySlvShortcuts;
  using Base::registerSlvAPP;
};
using MainUpdater = OpenShellUpdater<TSlv2MainUpdater>;
using FinishUpdater = OpenShellUpdater<TSlv2MainFinishUpdater>;

class ShellTest : public ::testing::Test {
 protected:
  static constexpr const char* kMainKey = "\\Software\\Zarvik\\Solvane 2.1\\main";
  static constexpr const char* kOldUninstall =
      "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zarvik:Solvane 2.0";
  static constexpr const char* kNewUninstall =
      "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zarvik:Solvane 2.1";

  ShellTest();

  // The shell's "root" and "group" values of the 2.1 key.
  void Install(const std::string& shellRoot, const std::string& group);

  // What one step of a new updater of type U did: the lines it logged, what
  // it recorded and the "group" value as it left it.
  struct StepResult {
    std::vector<std::string> lines, recorded;
    std::string group;
  };
  // The step's changes are recorded only, unless `executing`.
  template <class U = MainUpdater>
  StepResult Step(void (TSlv2MainUpdater::*step)(), bool executing = false) {
    U updater(&fakeApi);
    if (!executing) RecordOnly(updater);
    log.Clear();
    finishLog.Clear();
    (updater.*step)();
    StepResult result{log.Lines(), Recorded(updater), {}};
    result.lines.insert(result.lines.end(), finishLog.Lines().begin(), finishLog.Lines().end());
    result.group = updater.Effects().ReadString(reg::kHkeyLocalMachine, kMainKey, "group");
    return result;
  }

  // A regsvr32 first on the PATH that notes its arguments and ends with
  // `exitCode`.
  void InstallRegsvr32(int exitCode);
  // The arguments of every regsvr32 run so far, one a line.
  std::vector<std::string> Regsvr32Arguments();
  // A whole 2.0-era shell: its folder with the COM server, a working
  // regsvr32, the old group with a shortcut and the old uninstall entry.
  void InstallWholeShell();

  TempRegistry registry;
  TempDir dir;
  ScopedEnv xdgEnv;
  ScopedEnv pathEnv;
  std::string root = dir / "shell";
  std::string oldGroup = dir / "Start Menu/Programs/Solvane";
  std::string common = dir / "xdg/applications/Zarvik Solvane";
  FakeSecurityApi fakeApi;
  LogCapture log{"TSlv2MainUpdater"}, finishLog{"TSlv2MainFinishUpdater"};
};

}  // namespace slv2::test
