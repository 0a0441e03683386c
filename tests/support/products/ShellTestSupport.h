// Fixtures of the shell updater tests: a registry, a shell folder and an
// applications menu (XDG's, so the tests that use them are Linux's) in
// temporary folders, and the shell's steps run one at a time.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeSecurityApi.h"
#include "RecordedOutcomes.h"
#include "products/Slv2MainFinishUpdater.h"
#include "sys/StrUtil.h"
#include "sys/registry/RegFunctions.h"

namespace slv2::test {

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

  ShellTest() { fakeApi.Account("Everyone", 5); }

  // The shell's "root" and "group" values of the 2.1 key.
  void Install(const std::string& shellRoot, const std::string& group) {
    SetRegString(reg::kHkeyLocalMachine, kMainKey, "root", shellRoot);
    SetRegString(reg::kHkeyLocalMachine, kMainKey, "group", group);
  }

  // The text with {root}, {old}, {common} and {apps} (the shell folder, the
  // old group, the common group and the folder above it) and {uninstall}
  // (the uninstall entry's recorded move) put in.
  std::string Expand(std::string text) const {
    const std::string oldEntry = std::string("HKEY_LOCAL_MACHINE") + kOldUninstall;
    const std::string newEntry = std::string("HKEY_LOCAL_MACHINE") + kNewUninstall;
    for (const auto& [name, value] :
         {std::pair{"{root}", root}, std::pair{"{old}", oldGroup}, std::pair{"{common}", common},
          std::pair{"{apps}", dir / "xdg/applications"},
          std::pair{"{uninstall}",
                    "shell " + newEntry + ": uninstall entry moved from " + oldEntry},
          std::pair{"{oldEntry}", std::string(kOldUninstall)},
          std::pair{"{newEntry}", std::string(kNewUninstall)}})
      text = ReplaceAll(text, name, value, false);
    return text;
  }

  // What one step of a new updater of type U did, a line each: what it
  // logged and what it recorded; and as its effects read the registry after
  // it, the "group" value and "<root value> | <label> | <label>" of the 2.1
  // key and the 2.1 and 2.0 uninstall entries ("-" for a missing key).
  struct StepResult {
    std::string lines, recorded, group, keys;
  };
  // The step's changes are recorded only, unless `executing`.
  template <class U = MainUpdater>
  StepResult Step(void (TSlv2MainUpdater::*step)(), bool executing = false) {
    U updater(&fakeApi);
    if (!executing) RecordOnly(updater);
    log.Clear();
    finishLog.Clear();
    (updater.*step)();
    std::vector<std::string> lines = log.Lines();
    lines.insert(lines.end(), finishLog.Lines().begin(), finishLog.Lines().end());
    TSlv2Effects& effects = updater.Effects();
    auto read = [&effects](const char* key, const char* name) {
      return effects.KeyExists(reg::kHkeyLocalMachine, key)
                 ? effects.ReadString(reg::kHkeyLocalMachine, key, name)
                 : std::string("-");
    };
    return {Text(lines), Text(Recorded(updater)),
            effects.ReadString(reg::kHkeyLocalMachine, kMainKey, "group"),
            read(kMainKey, "root") + " | " + read(kNewUninstall, "DisplayName") + " | " +
                read(kOldUninstall, "DisplayName")};
  }

  TempRegistry registry;
  TempDir dir;
  ScopedEnv xdgEnv{"XDG_DATA_HOME", dir / "xdg"};
  std::string root = dir / "shell";
  std::string oldGroup = dir / "Start Menu/Programs/Solvane";
  std::string common = dir / "xdg/applications/Zarvik Solvane";
  FakeSecurityApi fakeApi;
  LogCapture log{"TSlv2MainUpdater"}, finishLog{"TSlv2MainFinishUpdater"};
};

}  // namespace slv2::test
