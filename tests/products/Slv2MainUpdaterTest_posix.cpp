// The shell's steps as decision tables: what each step decided is read from
// what it recorded with a dry run's effects. The rows that need the machine's
// own answer (a copy or move that cannot complete, regsvr32 run or missing)
// execute; the real tree and registry otherwise belong to the end-to-end runs.
#include <filesystem>
#include <map>

#include "ShellTestSupport.h"
#include "log/LogAppender.h"
#include "log/LogHierarchy.h"
#include "sys/Cp1251.h"
#include "sys/Format.h"

namespace slv2::test {
namespace {

using namespace std::string_literals;
using reg::kHkeyCurrentUser;
using reg::kHkeyLocalMachine;
using Lines = std::vector<std::string>;

void MakeFolder(const std::string& folder) {
  std::filesystem::create_directories(AnsiToUtf8(folder));
}

// The first line that holds `text` raises ESlvUpdater("the log is full") out
// of its log call.
class FailingLog : public TLogAppender {
 public:
  explicit FailingLog(std::string text) : text_(std::move(text)) {}

 protected:
  void Write(const std::string& line) override {
    if (text_.empty() || line.find(text_) == std::string::npos) return;
    text_.clear();
    throw ESlvUpdater("the log is full");
  }

 private:
  std::string text_;
};

// The 2.0 key is copied only where the 2.1 key is missing; a copy that cannot
// complete says so.
TEST_F(ShellTest, MigrationCopiesThe20KeyOnlyWhereThe21KeyIsMissing) {
  const std::string copy =
      "shell HKEY_LOCAL_MACHINE\\Software\\Zarvik\\Solvane 2.1: copied from "
      "HKEY_CURRENT_USER\\Software\\Zarvik\\Solvane";
  struct Case {
    bool has21, has20, executing;  // executing: with a value kind the copy does not know
    const char* line;              // after the two on what exists
    const char* failure;
  } cases[] = {
      // clang-format off
      {false, true, false, "DEBUG BeforeExecute(): Slv20 key copied from HKCU to HKLM", ""},
      {false, false, false, nullptr, nullptr},
      {true, false, false, nullptr, nullptr},
      {true, true, false, nullptr, nullptr},
      {false, true, true, "ERROR BeforeExecute(): Slv20 key not copied completely from HKCU to HKLM",
       " - fails: not copied completely"},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.has21 << c.has20 << c.executing);
    TempRegistry fresh;
    const std::string k20 = "\\Software\\Zarvik\\Solvane\\main";
    if (c.has20) SetRegString(kHkeyCurrentUser, k20, "root", "C:\\Solvane");
    if (c.executing) SetRegValue(kHkeyCurrentUser, k20, "list", reg::kRegMultiSz, "a\0b\0\0"s);
    if (c.has21) SetRegString(kHkeyLocalMachine, kMainKey, "root", "/opt/zarvik/solvane");
    Lines lines = {"DEBUG BeforeExecute(): Slv21 key "s +
                       (c.has21 ? "already exists" : "does not exist") + " in HKLM",
                   "DEBUG BeforeExecute(): Slv20 key "s +
                       (c.has20 ? "already exists" : "does not exist") + " in HKCU"};
    if (c.line) lines.push_back(c.line);
    StepResult result = Step(&MainUpdater::BeforeExecute, c.executing);
    EXPECT_EQ(result.lines, lines);
    EXPECT_EQ(result.recorded, c.failure ? Lines{copy + c.failure} : Lines{});
  }
}

// regsvr32 runs silently on the server file, its path quoted whole, and its
// exit code is only logged; where none can run the server stays unregistered
// with a warning.
TEST_F(ShellTest, RegisterSlvAppRunsRegsvr32OnAnExistingServer) {
  // A regsvr32 that notes its arguments, named as the command names it.
  WriteFile(dir / "path/regsvr32.exe",
            "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + AnsiToUtf8(dir / "args") + "'\nexit 3\n");
  std::filesystem::permissions(AnsiToUtf8(dir / "path/regsvr32.exe"),
                               std::filesystem::perms::owner_all);
  struct Case {
    const char* shell;
    int server;  // 0 none, 1 the file, 2 a folder of its name
    bool executing;
    const char* path;  // PATH
    const char* line;  // %s: the server's path as on the command line
  } cases[] = {
      // clang-format off
      {"dry", 1, false, "path", "DEBUG registerSlvAPP(): regsvr32 returned 0"},
      {"Программы/Zarvik Solvane", 1, true, "path", "DEBUG registerSlvAPP(): regsvr32 returned 3"},
      {"none", 0, true, "path", nullptr},
      {"folder", 2, true, "path", nullptr},
      {"shell", 1, true, "nothing",
       "WARN registerSlvAPP(): regsvr32 cannot be run here, %s is not registered"},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shell);
    std::string shell = dir / A(c.shell), server = shell + "/bin/SlvAPP.dll";
    Install(shell, oldGroup);
    if (c.server == 1) WriteFile(server, "MZ");
    if (c.server == 2) MakeFolder(server);
    // Nothing else on the PATH: Wine, for one, brings a regsvr32 of its own.
    ScopedEnv path("PATH", dir / c.path);
    StepResult result = Step(&MainUpdater::registerSlvAPP, c.executing);
    std::string quoted = server.find(' ') == std::string::npos ? server : "\"" + server + "\"";
    EXPECT_EQ(result.lines, c.line ? Lines{Format(c.line, quoted.c_str())} : Lines{});
    EXPECT_EQ(result.recorded,
              c.server == 1 ? Lines{"shell " + server + ": COM server registered"} : Lines{});
  }
  EXPECT_EQ(ReadFile(dir / "args"),
            "/s\n" + AnsiToUtf8(dir / A("Программы/Zarvik Solvane")) + "/bin/SlvAPP.dll\n");
}

// The group moves into the common Programs folder and the value follows,
// once; the old group stays, still named, unless every shortcut arrived.
TEST_F(ShellTest, CopySlvShortcutsMovesTheGroupIntoTheCommonPrograms) {
  struct Case {
    std::string group;
    bool executing;  // with a folder where a shortcut must arrive
    const char* line;
    const char* failure;  // of the recorded move; nullptr: none recorded
    std::string groupAfter;
  } cases[] = {
      // clang-format off
      {"{old}", false, "DEBUG copySlvShortcuts(): shortcuts moved from \"{old}\" to \"{common}\"", "", "{common}"},
      {"{apps}/ZARVIK SOLVANE/", false, nullptr, nullptr, "{apps}/ZARVIK SOLVANE/"},
      {"", false, "WARN copySlvShortcuts(): the shell names no program group, nothing done", nullptr, ""},
      // Deleting a group that holds the common folder would delete the copy.
      {"{apps}", false, "ERROR copySlvShortcuts(): \"{common}\" lies inside \"{apps}\", shortcuts stay where they are", nullptr, "{apps}"},
      {"{old}", true, "ERROR copySlvShortcuts(): shortcuts not copied completely from \"{old}\" to \"{common}\"", " - fails: not copied completely", "{old}"},
      // clang-format on
  };
  WriteFile(oldGroup + "/Solvane 2.0.lnk", "main");
  WriteFile(oldGroup + A("/Справка Solvane 2.0.lnk"), "help");
  WriteFile(oldGroup + "/Tools/Deep/Uninstall.lnk", "uninstall");
  MakeReadOnly(oldGroup + "/Tools/Deep/Uninstall.lnk");
  const Lines tree = ListTree(oldGroup);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.group);
    Install(root, Expand(c.group));
    if (c.executing) MakeFolder(common + "/Solvane 2.0.lnk");
    StepResult result = Step(&MainUpdater::copySlvShortcuts, c.executing);
    EXPECT_EQ(result.lines, c.line ? Lines{Expand(c.line)} : Lines{});
    EXPECT_EQ(result.recorded,
              c.failure
                  ? Lines{Expand("shell {common}: program group moved from {old}") + c.failure}
                  : Lines{});
    EXPECT_EQ(result.group, Expand(c.groupAfter));
  }
  EXPECT_EQ(ListTree(oldGroup), tree);
}

// "Solvane 2.0" becomes "Solvane 2.1" in the group's names, letter case
// kept; a group without entries is said.
TEST_F(ShellTest, AdjustSlvShortcutsNamesRenames20Names) {
  struct Case {
    std::vector<const char*> names;  // "": the group folder empty; none: missing
    std::vector<std::pair<const char*, const char*>> renamed;
  } cases[] = {
      // clang-format off
      {{"Solvane 2.0.lnk", "Справка Solvane 2.0.lnk", "Readme.txt", "Other/solvane 2.0.lnk", "Other/Sub/Solvane 2.0 Web.lnk"},
       {{"Solvane 2.0.lnk", "Solvane 2.1.lnk"}, {"Справка Solvane 2.0.lnk", "Справка Solvane 2.1.lnk"},
        {"Other/Sub/Solvane 2.0 Web.lnk", "Other/Sub/Solvane 2.1 Web.lnk"}}},
      {{""}, {}},
      {{}, {}},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.names.size());
    TempDir folder;
    std::string group = folder / "Solvane";
    Install(root, group);
    for (const char* name : c.names)
      *name ? WriteFile(group + "/" + A(name), "x") : MakeFolder(group);
    Lines lines, recorded;
    for (const auto& [from, to] : c.renamed) {
      std::string entry = group + "/" + A(from), target = group + "/" + A(to);
      lines.push_back("DEBUG adjustSlvShortcutsNames(): renamed \"" + entry + "\" to \"" + target +
                      "\"");
      recorded.push_back("shell " + target + ": renamed from " + entry);
    }
    if (c.renamed.empty())
      lines.push_back("WARN adjustSlvShortcutsNames(): found no files in \"" + group +
                      "\" group folder");
    StepResult result = Step(&MainUpdater::adjustSlvShortcutsNames);
    EXPECT_EQ(result.lines, lines);
    EXPECT_EQ(result.recorded, recorded);
  }
}

// The 2.0 entry moves to the 2.1 name, labelled first: an entry that cannot
// move whole stays, relabelled, so that a run killed between the two steps
// leaves the next run the move.
TEST_F(ShellTest, AdjustSlvUninstallLabelsMovesThe20Entry) {
  struct Case {
    const char* key;
    bool executing;  // with a value kind the move does not know
    const char* line;
    const char* failure;
  } cases[] = {
      // clang-format off
      {kOldUninstall, false, nullptr, ""},
      {kNewUninstall, false, nullptr, nullptr},
      {kOldUninstall, true, "ERROR adjustSlvUninstallLabels(): uninstall entry not moved from \"{oldEntry}\" to \"{newEntry}\"", " - fails: not moved"},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    TempRegistry fresh;
    SetRegString(kHkeyLocalMachine, c.key, "DisplayName", "Zarvik:Solvane 2.0");
    if (c.executing) SetRegValue(kHkeyLocalMachine, c.key, "Parts", reg::kRegMultiSz, "a\0\0"s);
    StepResult result = Step(&MainUpdater::adjustSlvUninstallLabels, c.executing);
    EXPECT_EQ(result.lines, c.line ? Lines{Expand(c.line)} : Lines{});
    EXPECT_EQ(result.recorded, c.failure ? Lines{Expand("{uninstall}") + c.failure} : Lines{});
    EXPECT_EQ(RegReadStringDef(kHkeyLocalMachine, kOldUninstall, "DisplayName", "none"),
              c.executing              ? "Zarvik:Solvane 2.1"
              : c.key == kOldUninstall ? "Zarvik:Solvane 2.0"
                                       : "none");
  }
}

// The steps after the fixed ones in order, on NT systems and elsewhere, for
// the shell's updater and its finishing one (which only opens the shell tree
// to all users again), and an exception out of the first step.
TEST_F(ShellTest, AfterExecuteRunsTheStepsInOrder) {
  WriteFile(root + "/bin/SlvAPP.dll", "MZ");
  WriteFile(oldGroup + "/Solvane 2.0.lnk", "main");
  SetRegString(kHkeyLocalMachine, kOldUninstall, "DisplayName", "Zarvik:Solvane 2.0");
  Install(root, oldGroup);
  // A step's line logged (none: ""), then its change recorded.
  const std::map<std::string, std::pair<const char*, const char*>> steps = {
      // clang-format off
      {"register", {"DEBUG registerSlvAPP(): regsvr32 returned 0", "shell {root}/bin/SlvAPP.dll: COM server registered"}},
      {"move", {"DEBUG copySlvShortcuts(): shortcuts moved from \"{old}\" to \"{common}\"", "shell {common}: program group moved from {old}"}},
      {"allow", {"DEBUG allowSlvFilesForEveryone() succeeded", "shell {root}: full control for everyone on the folder tree"}},
      {"rename", {"DEBUG adjustSlvShortcutsNames(): renamed \"{old}/Solvane 2.0.lnk\" to \"{old}/Solvane 2.1.lnk\"", "shell {old}/Solvane 2.1.lnk: renamed from {old}/Solvane 2.0.lnk"}},
      {"renameMoved", {"DEBUG adjustSlvShortcutsNames(): renamed \"{common}/Solvane 2.0.lnk\" to \"{common}/Solvane 2.1.lnk\"", "shell {common}/Solvane 2.1.lnk: renamed from {common}/Solvane 2.0.lnk"}},
      {"uninstall", {"", "{uninstall}"}},
      {"done", {"DEBUG AfterExecute() succeeded", nullptr}},
      {"failed", {"ERROR AfterExecute() failed: ESlvUpdater (the log is full)", nullptr}},
      // clang-format on
  };
  struct Case {
    bool finish, nt, failing;
    std::vector<const char*> steps;
  } cases[] = {
      // clang-format off
      {false, true, false, {"register", "move", "allow", "renameMoved", "uninstall", "done"}},
      {false, false, false, {"register", "rename", "uninstall", "done"}},
      {false, true, true, {"register", "failed"}},
      {true, true, false, {"allow"}},
      {true, false, false, {}},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.finish << c.nt << c.failing);
    fakeApi.platformId = c.nt ? uint32_t{security::kVerPlatformWin32Nt} : 1u;
    Lines lines, recorded;
    for (const char* step : c.steps) {
      auto [line, change] = steps.at(step);
      if (*line) lines.push_back(Expand(line));
      if (change) recorded.push_back(Expand(change));
    }
    TLogCategory& category = TLogHierarchy::Default().GetCategory("TSlv2MainUpdater");
    std::shared_ptr<TLogAppender> failing = std::make_shared<FailingLog>("regsvr32 returned");
    if (c.failing) category.AddAppender(failing);
    StepResult result = c.finish ? Step<FinishUpdater>(&TSlv2MainUpdater::AfterExecute)
                                 : Step(&TSlv2MainUpdater::AfterExecute);
    category.RemoveAppender(failing);
    EXPECT_EQ(result.lines, lines);
    EXPECT_EQ(result.recorded, recorded);
  }
}

// Unknown folders and roots of the file system: every step says so and
// decides nothing.
TEST_F(ShellTest, NoStepActsOnTheRootOfTheFileSystem) {
  MainUpdater updater;
  for (const char* folder : {"/", "\\", "/opt/..", "C:\\", "C:", "\\\\server\\share\\", ""})
    EXPECT_FALSE(updater.CheckFolder("step", "shell folder", folder)) << folder;
  for (const char* folder : {"/opt/zarvik", "C:\\Zarvik", "\\\\server\\share\\zarvik", "zarvik"})
    EXPECT_TRUE(updater.CheckFolder("step", "shell folder", folder)) << folder;
  for (const char* folder : {"", "/"}) {
    SCOPED_TRACE(folder);
    auto line = [folder](const char* step, const char* what) {
      if (*folder)
        return "ERROR "s + step + "(): " + what + " \"/\" is a root folder, nothing done";
      if (what == "group folder"s)
        return "WARN "s + step + "(): the shell names no program group, nothing done";
      return "ERROR "s + step + "(): " + what + " is unknown, nothing done";
    };
    Install(folder, folder);
    StepResult result = Step(&TSlv2MainUpdater::AfterExecute);
    EXPECT_EQ(
        result.lines,
        (Lines{line("registerSlvAPP", "shell folder"), line("copySlvShortcuts", "group folder"),
               line("allowSlvFilesForEveryone", "shell folder"),
               line("adjustSlvShortcutsNames", "group folder"), "DEBUG AfterExecute() succeeded"}));
    EXPECT_EQ(result.recorded, Lines{});
  }
}

}  // namespace
}  // namespace slv2::test
