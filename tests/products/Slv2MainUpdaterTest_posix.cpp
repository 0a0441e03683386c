// The shell's steps as decision tables: what each step decided is read from
// what it logged and recorded with a dry run's effects, on a registry, a
// shell folder and an applications menu (XDG's) in temporary folders. The
// rows that need the machine's own answer (a copy or move that cannot
// complete, regsvr32 run or missing) execute.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>

#include "FakeSecurityApi.h"
#include "RecordedOutcomes.h"
#include "products/Slv2MainFinishUpdater.h"
#include "sys/Cp1251.h"
#include "sys/StrUtil.h"
#include "sys/registry/RegFunctions.h"

namespace slv2::test {
namespace {

using namespace std::string_literals;
using reg::kHkeyCurrentUser;
using reg::kHkeyLocalMachine;

// The shell's steps made callable, on an updater created from the registry.
template <class Base>
class OpenShellUpdater : public Base {
 public:
  explicit OpenShellUpdater(security::SecurityApi& api) {
    this->Create();
    this->SetSecurityApi(api);
  }
  using Base::adjustSlvShortcutsNames;
  using Base::adjustSlvUninstallLabels;
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

  // The shell's "root" and "group" values of the 2.1 key.
  void Install(const std::string& shellRoot, const std::string& group) {
    SetRegString(kHkeyLocalMachine, kMainKey, "root", shellRoot);
    SetRegString(kHkeyLocalMachine, kMainKey, "group", group);
  }

  // The text with {root}, {old}, {common} and {apps} (the shell folder, the
  // old group, the common group and the folder above it), {uninstall} and
  // {copy} (the uninstall entry's recorded move, the 2.0 key's copy), {21}
  // and {20} (the start of a line about either key) put in.
  std::string Expand(std::string text) const {
    const std::string oldEntry = std::string("HKEY_LOCAL_MACHINE") + kOldUninstall;
    const std::string newEntry = std::string("HKEY_LOCAL_MACHINE") + kNewUninstall;
    for (const auto& [name, value] :
         {std::pair{"{root}", root}, std::pair{"{old}", oldGroup}, std::pair{"{common}", common},
          std::pair{"{apps}", dir / "xdg/applications"},
          std::pair{"{uninstall}",
                    "shell " + newEntry + ": uninstall entry moved from " + oldEntry},
          std::pair{"{copy}",
                    "shell HKEY_LOCAL_MACHINE\\Software\\Zarvik\\Solvane 2.1: copied "
                    "from HKEY_CURRENT_USER\\Software\\Zarvik\\Solvane"s},
          std::pair{"{21}", "DEBUG BeforeExecute(): Slv21 key"s},
          std::pair{"{20}", "DEBUG BeforeExecute(): Slv20 key"s}})
      text = ReplaceAll(text, name, value, false);
    return text;
  }

  // What one step of a new updater of type U did, a line each: what it
  // logged and what it recorded; and as its effects read the registry after
  // it, "<root> | <group> | <label> | <label>": the 2.1 key's values and the
  // 2.1 and 2.0 uninstall entries' labels ("-" for none).
  struct StepResult {
    std::string lines, recorded, state;
  };
  // The step's changes are recorded only, unless `executing`.
  template <class U = MainUpdater>
  StepResult Step(void (TSlv2MainUpdater::*step)(), bool executing = false) {
    U updater(fakeApi);
    if (!executing) RecordOnly(updater);
    log.Clear();
    finishLog.Clear();
    (updater.*step)();
    std::vector<std::string> lines = log.Lines();
    lines.insert(lines.end(), finishLog.Lines().begin(), finishLog.Lines().end());
    TSlv2Effects& effects = updater.Effects();
    auto read = [&effects](const char* key, const char* name) {
      std::string value = effects.KeyExists(kHkeyLocalMachine, key)
                              ? effects.ReadString(kHkeyLocalMachine, key, name)
                              : "";
      return value.empty() ? "-" : value;
    };
    return {Text(lines), Text(Recorded(updater)),
            read(kMainKey, "root") + " | " + read(kMainKey, "group") + " | " +
                read(kNewUninstall, "DisplayName") + " | " + read(kOldUninstall, "DisplayName")};
  }

  TempRegistry registry;
  TempDir dir;
  ScopedEnv xdgEnv{"XDG_DATA_HOME", dir / "xdg"};
  std::string root = dir / A("Программы/Zarvik Solvane");
  std::string oldGroup = dir / "Start Menu/Programs/Solvane";
  std::string common = dir / "xdg/applications/Zarvik Solvane";
  std::optional<ScopedEnv> pathEnv;
  FakeSecurityApi fakeApi;
  LogCapture log{"TSlv2MainUpdater"}, finishLog{"TSlv2MainFinishUpdater"};
};

// Each step's decisions. The 2.0 key is copied only where the 2.1 key is
// missing; a copy that cannot complete says so. The entry of 2.0 moves to the
// 2.1 name, labelled first: one that cannot move whole stays, relabelled, so
// that a run killed between the two leaves the next run the move. regsvr32
// runs silently on the server file, its path quoted whole, and its exit code
// is only logged; where none can run the server stays unregistered with a
// warning. The group moves into the common Programs folder and the value
// follows, once; the old group stays, still named, unless every shortcut
// arrived. Then "Solvane 2.0" becomes "Solvane 2.1" in the group's names,
// letter case kept, each name once (a folder's after its entries').
TEST_F(ShellTest, StepDecisions) {
  const std::string k20 = "\\Software\\Zarvik\\Solvane\\main";
  // A regsvr32 that notes its arguments, named as the command names it.
  WriteFile(dir / "path/regsvr32.exe",
            "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + AnsiToUtf8(dir / "args") + "'\nexit 3\n");
  std::filesystem::permissions(AnsiToUtf8(dir / "path/regsvr32.exe"),
                               std::filesystem::perms::owner_all);
  for (const char* name :
       {"Solvane 2.0.lnk", "Справка Solvane 2.0.lnk", "Readme.txt", "Tools/solvane 2.0.lnk",
        "Tools/Solvane 2.0 Web.lnk", "Solvane 2.0 Extras/Solvane 2.0 Notes.lnk"})
    WriteFile(oldGroup + "/" + A(name), name);
  std::filesystem::create_directories(AnsiToUtf8(oldGroup + "/Tools/Deep"));
  // The old group's renames in the order made, logged and recorded.
  std::vector<std::string> renameLines, renameRecords;
  for (const char* name : {"Solvane 2.0 Extras/Solvane 2.0 Notes.lnk", "Tools/Solvane 2.0 Web.lnk",
                           "Solvane 2.0 Extras", "Solvane 2.0.lnk", "Справка Solvane 2.0.lnk"}) {
    std::string from = "{old}/" + std::string(name), to = from;
    to.replace(to.rfind("2.0"), 3, "2.1");
    renameLines.push_back("DEBUG adjustSlvShortcutsNames(): renamed \"" + from + "\" to \"" + to +
                          "\"");
    renameRecords.push_back("shell " + to + ": renamed from " + from);
  }
  const std::string renames = Text(renameLines), renamed = Text(renameRecords);
  // What each row finds; a value kind that does not copy makes a copy or move
  // of the key fail.
  auto the20Key = [&] { SetRegString(kHkeyCurrentUser, k20, "root", "C:\\Solvane"); };
  auto the20Entry = [&] {
    SetRegString(kHkeyLocalMachine, kOldUninstall, "DisplayName", "Zarvik:Solvane 2.0");
  };
  auto notCopied = [](reg::HKey hive, const std::string& key) {
    SetRegValue(hive, key, "Parts", reg::kRegMultiSz, "a\0\0"s);
  };
  auto server = [&] {
    Install(root, oldGroup);
    WriteFile(root + "/bin/SlvAPP.dll", "MZ");
  };
  auto group = [&](const char* value) { return [this, value] { Install(root, Expand(value)); }; };
  struct Case {
    void (TSlv2MainUpdater::*step)();
    std::function<void()> given;
    bool executing;
    const char *lines, *recorded, *state;
  } cases[] = {
      // clang-format off
      {&TSlv2MainUpdater::BeforeExecute, {}, false, "{21} does not exist in HKLM\n{20} does not exist in HKCU", "", "- | - | - | -"},
      {&TSlv2MainUpdater::BeforeExecute, the20Key, false, "{21} does not exist in HKLM\n{20} already exists in HKCU\n{20} copied from HKCU to HKLM", "{copy}", "C:\\Solvane | - | - | -"},
      {&TSlv2MainUpdater::BeforeExecute, group("/opt/zarvik"), false, "{21} already exists in HKLM\n{20} does not exist in HKCU", "", "{root} | /opt/zarvik | - | -"},
      {&TSlv2MainUpdater::BeforeExecute, [&] { the20Key(); notCopied(kHkeyCurrentUser, k20); }, true, "{21} does not exist in HKLM\n{20} already exists in HKCU\nERROR BeforeExecute(): Slv20 key not copied completely from HKCU to HKLM", "{copy} - fails: not copied completely", "C:\\Solvane | - | - | -"},
      // A moved entry reads as the old one did, relabelled, under its new name.
      {&MainUpdater::adjustSlvUninstallLabels, the20Entry, false, "", "{uninstall}", "- | - | Zarvik:Solvane 2.1 | -"},
      {&MainUpdater::adjustSlvUninstallLabels, [&] { SetRegString(kHkeyLocalMachine, kNewUninstall, "DisplayName", "Zarvik:Solvane 2.0"); }, false, "", "", "- | - | Zarvik:Solvane 2.0 | -"},
      {&MainUpdater::adjustSlvUninstallLabels, [&] { the20Entry(); notCopied(kHkeyLocalMachine, kOldUninstall); }, true, "ERROR adjustSlvUninstallLabels(): uninstall entry not moved from \"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zarvik:Solvane 2.0\" to \"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zarvik:Solvane 2.1\"", "{uninstall} - fails: not moved", "- | - | Zarvik:Solvane 2.1 | Zarvik:Solvane 2.1"},
      {&MainUpdater::registerSlvAPP, group("{old}"), true, "", "", "{root} | {old} | - | -"},
      {&MainUpdater::registerSlvAPP, server, true, "DEBUG registerSlvAPP(): regsvr32 returned 3", "shell {root}/bin/SlvAPP.dll: COM server registered", "{root} | {old} | - | -"},
      {&MainUpdater::registerSlvAPP, [&] { server(); pathEnv.emplace("PATH", dir / "nothing"); }, true, "WARN registerSlvAPP(): regsvr32 cannot be run here, \"{root}/bin/SlvAPP.dll\" is not registered", "shell {root}/bin/SlvAPP.dll: COM server not registered: regsvr32 cannot be run here", "{root} | {old} | - | -"},
      {&MainUpdater::copySlvShortcuts, group("{old}"), false, "DEBUG copySlvShortcuts(): shortcuts moved from \"{old}\" to \"{common}\"", "shell {common}: program group moved from {old}", "{root} | {common} | - | -"},
      {&MainUpdater::copySlvShortcuts, group("{apps}/ZARVIK SOLVANE/"), false, "", "", "{root} | {apps}/ZARVIK SOLVANE/ | - | -"},
      {&MainUpdater::copySlvShortcuts, group(""), false, "WARN copySlvShortcuts(): the shell names no program group, nothing done", "", "{root} | - | - | -"},
      // Deleting a group that holds the common folder would delete the copy.
      {&MainUpdater::copySlvShortcuts, group("{apps}"), false, "ERROR copySlvShortcuts(): \"{common}\" lies inside \"{apps}\", shortcuts stay where they are", "", "{root} | {apps} | - | -"},
      // A folder where a shortcut must arrive.
      {&MainUpdater::copySlvShortcuts, [&] { group("{old}")(); std::filesystem::create_directories(AnsiToUtf8(common + "/Solvane 2.0.lnk")); }, true, "ERROR copySlvShortcuts(): shortcuts not copied completely from \"{old}\" to \"{common}\"", "shell {common}: program group moved from {old} - fails: not copied completely", "{root} | {old} | - | -"},
      {&MainUpdater::adjustSlvShortcutsNames, group("{old}"), false, renames.c_str(), renamed.c_str(), "{root} | {old} | - | -"},
      {&MainUpdater::adjustSlvShortcutsNames, group("{old}/Tools/Deep"), false, "WARN adjustSlvShortcutsNames(): found no files in \"{old}/Tools/Deep\" group folder", "", "{root} | {old}/Tools/Deep | - | -"},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    TempRegistry fresh;
    // Nothing else on the PATH: Wine, for one, brings a regsvr32 of its own.
    pathEnv.emplace("PATH", dir / "path");
    if (c.given) c.given();
    StepResult result = Step(c.step, c.executing);
    EXPECT_EQ(result.lines, Expand(A(c.lines)));
    EXPECT_EQ(result.recorded, Expand(A(c.recorded)));
    EXPECT_EQ(result.state, Expand(c.state));
  }
  EXPECT_EQ(ReadFile(dir / "args"), "/s\n" + AnsiToUtf8(root) + "/bin/SlvAPP.dll\n");
}

// The steps after the fixed ones in order, on NT systems and elsewhere, for
// the shell's updater and its finishing one (which only opens the shell tree
// to all users again), an exception out of a step, and a shell folder and
// group unknown or the root of the file system: every step that needs them
// says so and decides nothing.
TEST_F(ShellTest, AfterExecuteRunsTheStepsInOrder) {
  WriteFile(root + "/bin/SlvAPP.dll", "MZ");
  WriteFile(oldGroup + "/Solvane 2.0.lnk", "main");
  SetRegString(kHkeyLocalMachine, kOldUninstall, "DisplayName", "Zarvik:Solvane 2.0");
  // What each step records.
  const std::map<std::string, const char*> changes = {
      // clang-format off
      {"register", "shell {root}/bin/SlvAPP.dll: COM server registered"},
      {"move", "shell {common}: program group moved from {old}"},
      {"allow", "shell {root}: full control for everyone on the folder tree"},
      {"rename", "shell {old}/Solvane 2.1.lnk: renamed from {old}/Solvane 2.0.lnk"},
      {"renameMoved", "shell {common}/Solvane 2.1.lnk: renamed from {common}/Solvane 2.0.lnk"},
      {"uninstall", "{uninstall}"},
      // clang-format on
  };
  struct Case {
    bool finish, nt, failing;  // failing: the platform cannot be told
    const char* folder;        // the shell's and the group's; nullptr: the test's own
    std::vector<const char*> steps;
    const char* said;  // the lines logged but for debugging ones, and the last line
  } cases[] = {
      // clang-format off
      {false, true, false, nullptr, {"register", "move", "allow", "renameMoved", "uninstall"}, "DEBUG AfterExecute() succeeded"},
      {false, false, false, nullptr, {"register", "rename", "uninstall"}, "DEBUG AfterExecute() succeeded"},
      {false, true, true, nullptr, {"register"}, "ERROR AfterExecute() failed: Exception (the platform is not known)"},
      {true, true, false, nullptr, {"allow"}, "DEBUG allowSlvFilesForEveryone() succeeded"},
      {true, false, false, nullptr, {}, ""},
      {false, true, false, "", {"uninstall"},
       "ERROR registerSlvAPP(): shell folder is unknown, nothing done\n"
       "WARN copySlvShortcuts(): the shell names no program group, nothing done\n"
       "ERROR allowSlvFilesForEveryone(): shell folder is unknown, nothing done\n"
       "WARN adjustSlvShortcutsNames(): the shell names no program group, nothing done\n"
       "DEBUG AfterExecute() succeeded"},
      {false, true, false, "/", {"uninstall"},
       "ERROR registerSlvAPP(): shell folder \"/\" is a root folder, nothing done\n"
       "ERROR copySlvShortcuts(): group folder \"/\" is a root folder, nothing done\n"
       "ERROR allowSlvFilesForEveryone(): shell folder \"/\" is a root folder, nothing done\n"
       "ERROR adjustSlvShortcutsNames(): group folder \"/\" is a root folder, nothing done\n"
       "DEBUG AfterExecute() succeeded"},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.said);
    Install(c.folder ? c.folder : root, c.folder ? c.folder : oldGroup);
    fakeApi.platformId = c.nt ? uint32_t{security::kVerPlatformWin32Nt} : 1u;
    fakeApi.platformKnown = !c.failing;
    std::vector<std::string> recorded, said;
    for (const char* step : c.steps)
      recorded.push_back(Expand(changes.at(step)));
    StepResult result = c.finish ? Step<FinishUpdater>(&TSlv2MainUpdater::AfterExecute)
                                 : Step(&TSlv2MainUpdater::AfterExecute);
    EXPECT_EQ(result.recorded, Text(recorded));
    std::vector<std::string> lines = SplitLines(result.lines + "\n");
    for (size_t i = 0; i < lines.size(); ++i)
      if (i + 1 == lines.size() || !lines[i].starts_with("DEBUG")) said.push_back(lines[i]);
    EXPECT_EQ(Text(said), c.said);
  }
  MainUpdater updater(fakeApi);
  for (const char* folder : {"/", "\\", "/opt/..", "C:\\", "C:", "\\\\server\\share\\", ""})
    EXPECT_FALSE(updater.CheckFolder("step", "shell folder", folder)) << folder;
  for (const char* folder : {"/opt/zarvik", "C:\\Zarvik", "\\\\server\\share\\zarvik", "zarvik"})
    EXPECT_TRUE(updater.CheckFolder("step", "shell folder", folder)) << folder;
}

}  // namespace
}  // namespace slv2::test
