// The shell's steps as decision tables: what each step decided is read from
// what it recorded with a dry run's effects. The rows that need the machine's
// own answer (a copy or move that cannot complete, regsvr32 run or missing)
// execute; the real tree and registry otherwise belong to the end-to-end runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>

#include "ShellTestSupport.h"
#include "sys/Cp1251.h"
#include "sys/Format.h"

namespace slv2::test {
namespace {

using namespace std::string_literals;
using reg::kHkeyCurrentUser;
using reg::kHkeyLocalMachine;
using Lines = std::vector<std::string>;

constexpr char k21[] = "\\Software\\Zarvik\\Solvane 2.1\\main";
constexpr char k20[] = "\\Software\\Zarvik\\Solvane\\main";

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

void MakeFolder(const std::string& folder) {
  std::filesystem::create_directories(AnsiToUtf8(folder));
}

// The 2.0 key is copied only where the 2.1 key is missing; a copy that cannot
// complete says so.
TEST_F(ShellTest, MigrationCopiesThe20KeyOnlyWhereThe21KeyIsMissing) {
  const std::string copy =
      "shell HKEY_LOCAL_MACHINE\\Software\\Zarvik\\Solvane 2.1: copied from "
      "HKEY_CURRENT_USER\\Software\\Zarvik\\Solvane";
  struct Case {
    bool has21, has20, executing;  // executing: with a value kind the copy does not know
    Lines lines, recorded;         // lines after the two on what exists
  } cases[] = {
      {false, true, false, {"DEBUG BeforeExecute(): Slv20 key copied from HKCU to HKLM"}, {copy}},
      {false, false, false, {}, {}},
      {true, false, false, {}, {}},
      {true, true, false, {}, {}},
      {false,
       true,
       true,
       {"ERROR BeforeExecute(): Slv20 key not copied completely from HKCU to HKLM"},
       {copy + " - fails: not copied completely"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.has21 << c.has20 << c.executing);
    TempRegistry fresh;
    if (c.has20) SetRegString(kHkeyCurrentUser, k20, "root", "C:\\Solvane");
    if (c.executing) SetRegValue(kHkeyCurrentUser, k20, "list", reg::kRegMultiSz, "a\0b\0\0"s);
    if (c.has21) SetRegString(kHkeyLocalMachine, k21, "root", "/opt/zarvik/solvane");
    Lines lines = {"DEBUG BeforeExecute(): Slv21 key "s +
                       (c.has21 ? "already exists" : "does not exist") + " in HKLM",
                   "DEBUG BeforeExecute(): Slv20 key "s +
                       (c.has20 ? "already exists" : "does not exist") + " in HKCU"};
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    StepResult result = Step(&MainUpdater::BeforeExecute, c.executing);
    EXPECT_EQ(result.lines, lines);
    EXPECT_EQ(result.recorded, c.recorded);
  }
}

// regsvr32 runs silently on the server file, its path quoted whole, and its
// exit code is only logged; where none can run the server stays unregistered
// with a warning.
TEST_F(ShellTest, RegisterSlvAppRunsRegsvr32OnAnExistingServer) {
  struct Case {
    const char* shell;
    int server;    // 0 none, 1 the file, 2 a folder of its name
    int exitCode;  // of the stand-in regsvr32; -1: none on the PATH
    bool executing;
    const char* line;  // %s: the server's path as on the command line
  } cases[] = {
      {"dry", 1, 3, false, "DEBUG registerSlvAPP(): regsvr32 returned 0"},
      {"Программы/Zarvik Solvane", 1, 3, true, "DEBUG registerSlvAPP(): regsvr32 returned 3"},
      {"none", 0, 0, true, nullptr},
      {"folder", 2, 0, true, nullptr},
      {"shell", 1, -1, true,
       "WARN registerSlvAPP(): regsvr32 cannot be run here, %s is not registered"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shell);
    std::string shell = dir / A(c.shell), server = shell + "/bin/SlvAPP.dll";
    Install(shell, oldGroup);
    if (c.server == 1) WriteFile(server, "MZ");
    if (c.server == 2) MakeFolder(server);
    InstallRegsvr32(c.exitCode);
    std::optional<ScopedEnv> noRegsvr32;  // Wine, for one, brings a regsvr32 of its own
    if (c.exitCode < 0) noRegsvr32.emplace("PATH", dir / "nothing");
    StepResult result = Step(&MainUpdater::registerSlvAPP, c.executing);
    std::string quoted = server.find(' ') == std::string::npos ? server : Quoted(server);
    EXPECT_EQ(result.lines, c.line ? Lines{Format(c.line, quoted.c_str())} : Lines{});
    EXPECT_EQ(result.recorded,
              c.server == 1 ? Lines{"shell " + server + ": COM server registered"} : Lines{});
  }
  EXPECT_EQ(Regsvr32Arguments(), (Lines{"/s", dir / A("Программы/Zarvik Solvane/bin/SlvAPP.dll")}));
}

// The group moves into the common Programs folder and the value follows,
// once; the old group stays, still named, unless every shortcut arrived.
TEST_F(ShellTest, CopySlvShortcutsMovesTheGroupIntoTheCommonPrograms) {
  const std::string applications = dir / "xdg/applications";
  const std::string move = "shell " + common + ": program group moved from " + oldGroup;
  struct Case {
    std::string group;
    bool executing;  // with a folder where a shortcut must arrive
    Lines lines, recorded;
    std::string groupAfter;
  } cases[] = {
      {oldGroup,
       false,
       {"DEBUG copySlvShortcuts(): shortcuts moved from " + Quoted(oldGroup) + " to " +
        Quoted(common)},
       {move},
       common},
      {applications + "/ZARVIK SOLVANE/", false, {}, {}, applications + "/ZARVIK SOLVANE/"},
      {"",
       false,
       {"WARN copySlvShortcuts(): the shell names no program group, nothing done"},
       {},
       ""},
      // Deleting a group that holds the common folder would delete the copy.
      {applications,
       false,
       {"ERROR copySlvShortcuts(): " + Quoted(common) + " lies inside " + Quoted(applications) +
        ", shortcuts stay where they are"},
       {},
       applications},
      {oldGroup,
       true,
       {"ERROR copySlvShortcuts(): shortcuts not copied completely from " + Quoted(oldGroup) +
        " to " + Quoted(common)},
       {move + " - fails: not copied completely"},
       oldGroup},
  };
  WriteFile(oldGroup + "/Solvane 2.0.lnk", "main");
  WriteFile(oldGroup + A("/Справка Solvane 2.0.lnk"), "help");
  WriteFile(oldGroup + "/Tools/Deep/Uninstall.lnk", "uninstall");
  MakeReadOnly(oldGroup + "/Tools/Deep/Uninstall.lnk");
  const Lines tree = ListTree(oldGroup);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.group);
    Install(root, c.group);
    if (c.executing) MakeFolder(common + "/Solvane 2.0.lnk");
    StepResult result = Step(&MainUpdater::copySlvShortcuts, c.executing);
    EXPECT_EQ(result.lines, c.lines);
    EXPECT_EQ(result.recorded, c.recorded);
    EXPECT_EQ(result.group, c.groupAfter);
  }
  EXPECT_EQ(ListTree(oldGroup), tree);
}

// "Solvane 2.0" becomes "Solvane 2.1" in the group's names, letter case
// kept; a group without entries is said.
TEST_F(ShellTest, AdjustSlvShortcutsNamesRenames20Names) {
  using Renames = std::vector<std::pair<const char*, const char*>>;
  struct Case {
    std::vector<const char*> names;  // "": the group folder empty; none: missing
    Renames renamed;
  } cases[] = {
      {{"Solvane 2.0.lnk", "Справка Solvane 2.0.lnk", "Readme.txt", "Other/solvane 2.0.lnk",
        "Other/Sub/Solvane 2.0 Web.lnk"},
       {{"Solvane 2.0.lnk", "Solvane 2.1.lnk"},
        {"Справка Solvane 2.0.lnk", "Справка Solvane 2.1.lnk"},
        {"Other/Sub/Solvane 2.0 Web.lnk", "Other/Sub/Solvane 2.1 Web.lnk"}}},
      {{""}, {}},
      {{}, {}},
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
      lines.push_back("DEBUG adjustSlvShortcutsNames(): renamed " + Quoted(entry) + " to " +
                      Quoted(target));
      recorded.push_back("shell " + target + ": renamed from " + entry);
    }
    if (c.renamed.empty()) {
      lines.push_back("WARN adjustSlvShortcutsNames(): found no files in " + Quoted(group) +
                      " group folder");
    }
    StepResult result = Step(&MainUpdater::adjustSlvShortcutsNames);
    EXPECT_EQ(result.lines, lines);
    EXPECT_EQ(result.recorded, recorded);
  }
}

// The 2.0 entry moves to the 2.1 name, labelled first: an entry that cannot
// move whole stays, relabelled, so that a run killed between the two steps
// leaves the next run the move.
TEST_F(ShellTest, AdjustSlvUninstallLabelsMovesThe20Entry) {
  const std::string move = "shell HKEY_LOCAL_MACHINE"s + kNewUninstall +
                           ": uninstall entry moved from HKEY_LOCAL_MACHINE" + kOldUninstall;
  struct Case {
    const char* key;
    bool executing;  // with a value kind the move does not know
    Lines lines, recorded;
  } cases[] = {
      {kOldUninstall, false, {}, {move}},
      {kNewUninstall, false, {}, {}},
      {kOldUninstall,
       true,
       {"ERROR adjustSlvUninstallLabels(): uninstall entry not moved from " +
        Quoted(kOldUninstall) + " to " + Quoted(kNewUninstall)},
       {move + " - fails: not moved"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    TempRegistry fresh;
    SetRegString(kHkeyLocalMachine, c.key, "DisplayName", "Zarvik:Solvane 2.0");
    if (c.executing) SetRegValue(kHkeyLocalMachine, c.key, "Parts", reg::kRegMultiSz, "a\0\0"s);
    StepResult result = Step(&MainUpdater::adjustSlvUninstallLabels, c.executing);
    EXPECT_EQ(result.lines, c.lines);
    EXPECT_EQ(result.recorded, c.recorded);
    if (c.executing) {
      EXPECT_EQ(RegReadString(kHkeyLocalMachine, kOldUninstall, "DisplayName"),
                "Zarvik:Solvane 2.1");
    }
  }
}

// The steps after the fixed ones in order, on NT systems and elsewhere, for
// the shell's updater and its finishing one (which only opens the shell tree
// to all users again), and an exception out of the first step.
TEST_F(ShellTest, AfterExecuteRunsTheStepsInOrder) {
  InstallWholeShell();
  const std::map<std::string, std::pair<std::string, std::string>> tokens = {
      // token: the line logged, the change recorded
      {"register",
       {"DEBUG registerSlvAPP(): regsvr32 returned 0",
        "shell " + root + "/bin/SlvAPP.dll: COM server registered"}},
      {"move",
       {"DEBUG copySlvShortcuts(): shortcuts moved from " + Quoted(oldGroup) + " to " +
            Quoted(common),
        "shell " + common + ": program group moved from " + oldGroup}},
      {"allow",
       {"DEBUG allowSlvFilesForEveryone() succeeded",
        "shell " + root + ": full control for everyone on the folder tree"}},
      {"rename",
       {"DEBUG adjustSlvShortcutsNames(): renamed " + Quoted(oldGroup + "/Solvane 2.0.lnk") +
            " to " + Quoted(oldGroup + "/Solvane 2.1.lnk"),
        "shell " + oldGroup + "/Solvane 2.1.lnk: renamed from " + oldGroup + "/Solvane 2.0.lnk"}},
      {"renameMoved",
       {"DEBUG adjustSlvShortcutsNames(): renamed " + Quoted(common + "/Solvane 2.0.lnk") + " to " +
            Quoted(common + "/Solvane 2.1.lnk"),
        "shell " + common + "/Solvane 2.1.lnk: renamed from " + common + "/Solvane 2.0.lnk"}},
      {"uninstall",
       {"", "shell HKEY_LOCAL_MACHINE"s + kNewUninstall +
                ": uninstall entry moved from HKEY_LOCAL_MACHINE" + kOldUninstall}},
  };
  struct Case {
    const char* name;
    bool finish, nt, failing;
    std::vector<const char*> steps;
  } cases[] = {
      {"OnNt", false, true, false, {"register", "move", "allow", "renameMoved", "uninstall"}},
      {"Elsewhere", false, false, false, {"register", "rename", "uninstall"}},
      {"FailingFirstStep", false, true, true, {"register"}},
      {"FinishingOnNt", true, true, false, {"allow"}},
      {"FinishingElsewhere", true, false, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fakeApi.platformId = c.nt ? uint32_t{security::kVerPlatformWin32Nt} : 1u;
    Lines lines, recorded;
    for (const char* step : c.steps) {
      const auto& [line, change] = tokens.at(step);
      if (!line.empty()) lines.push_back(line);
      recorded.push_back(change);
    }
    if (!c.finish) {
      lines.push_back(c.failing ? "ERROR AfterExecute() failed: ESlvUpdater (the log is full)"
                                : "DEBUG AfterExecute() succeeded");
    }
    std::optional<FailingLog> failing;
    if (c.failing) failing.emplace("TSlv2MainUpdater", "registerSlvAPP(): regsvr32 returned");
    StepResult result = c.finish ? Step<FinishUpdater>(&TSlv2MainUpdater::AfterExecute)
                                 : Step(&TSlv2MainUpdater::AfterExecute);
    EXPECT_EQ(result.lines, lines);
    EXPECT_EQ(result.recorded, recorded);
  }
}

TEST_F(ShellTest, RootFoldersAreRefused) {
  MainUpdater updater;
  log.Clear();
  for (const char* folder : {"/", "\\", "/opt/..", "C:\\", "C:", "\\\\server\\share\\"})
    EXPECT_FALSE(updater.CheckFolder("step", "shell folder", folder)) << folder;
  for (const char* folder : {"/opt/zarvik", "C:\\Zarvik", "\\\\server\\share\\zarvik", "zarvik"})
    EXPECT_TRUE(updater.CheckFolder("step", "shell folder", folder)) << folder;
  EXPECT_FALSE(updater.CheckFolder("step", "group folder", ""));
  const Lines& lines = log.Lines();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "ERROR step(): shell folder \"/\" is a root folder, nothing done");
  EXPECT_EQ(lines[6], "ERROR step(): group folder is unknown, nothing done");
}

// With unknown folders or the root of the file system every step says so and
// decides nothing.
TEST_F(ShellTest, NoStepActsOnTheRootOfTheFileSystem) {
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
