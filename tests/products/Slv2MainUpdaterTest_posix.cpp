#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>

#include "AclTestSupport.h"
#include "ShellTestSupport.h"
#include "products/FileSecurity.h"
#include "sys/Cp1251.h"
#include "sys/registry/RegApi.h"
#include "sys/registry/RegFunctions.h"

namespace slv2 {
namespace {

using namespace std::string_literals;
using reg::kHkeyCurrentUser;
using reg::kHkeyLocalMachine;
using test::A;
using test::DumpRegKey;
using test::MainUpdater;
using test::PathExists;
using test::SetRegString;
using test::SetRegValue;
using test::WriteFile;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char k21[] = "\\Software\\Zarvik\\Solvane 2.1";
constexpr char k20[] = "\\Software\\Zarvik\\Solvane";

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// ---------------------------------------------------------------------------
// Migration of the family key before the fixed steps

class MigrationTest : public test::ShellTest {
 protected:
  // The 2.0 family key with every kind of value the copy knows, in subkeys.
  void MakeFamily20() {
    std::string main = k20 + "\\main"s;
    SetRegValue(kHkeyCurrentUser, k20, "", reg::kRegSz, "default\0"s);
    SetRegString(kHkeyCurrentUser, main, "root", A("C:\\Программы\\Solvane"));
    SetRegValue(kHkeyCurrentUser, main, "path", reg::kRegExpandSz, "%ProgramFiles%\\S\0"s);
    SetRegValue(kHkeyCurrentUser, main, "count", reg::kRegDword, "\x2A\0\0\0"s);
    SetRegValue(kHkeyCurrentUser, main, "blob", reg::kRegBinary, "\0\x01\xFF"s);
    SetRegString(kHkeyCurrentUser, k20 + "\\punctuation\\fonts"s, "face", "Arial");
  }
  static std::string Line(const char* key, const char* state, const char* root) {
    return "DEBUG BeforeExecute(): "s + key + " key " + state + " in " + root;
  }
};

// The 2.0 key is copied only where the 2.1 key is missing, and whole.
TEST_F(MigrationTest, The20KeyIsCopiedOnlyWhenThe21KeyIsMissing) {
  const std::string copied = "DEBUG BeforeExecute(): Slv20 key copied from HKCU to HKLM";
  const std::string incomplete =
      "ERROR BeforeExecute(): Slv20 key not copied completely from HKCU to HKLM";
  struct Case {
    bool has21, has20, multiString;  // a kind the copy does not know
    std::vector<std::string> lines;  // after the two on what exists
  } cases[] = {
      {false, true, false, {copied}}, {false, false, false, {}},         {true, false, false, {}},
      {true, true, false, {}},        {false, true, true, {incomplete}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.has21 << c.has20 << c.multiString);
    test::TempRegistry fresh;
    if (c.has20) MakeFamily20();
    if (c.multiString)
      SetRegValue(kHkeyCurrentUser, k20 + "\\main"s, "list", reg::kRegMultiSz, "a\0b\0\0"s);
    if (c.has21) SetRegString(kHkeyLocalMachine, k21 + "\\main"s, "root", "/opt/zarvik/solvane");
    const test::KeyTree family = DumpRegKey(kHkeyCurrentUser, k20);
    const test::KeyTree machine = DumpRegKey(kHkeyLocalMachine, k21);
    std::vector<std::string> lines = {
        Line("Slv21", c.has21 ? "already exists" : "does not exist", "HKLM"),
        Line("Slv20", c.has20 ? "already exists" : "does not exist", "HKCU")};
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    EXPECT_EQ(Step(&MainUpdater::BeforeExecute), lines);
    EXPECT_EQ(DumpRegKey(kHkeyCurrentUser, k20), family);
    // Both present: the 2.0 values are neither merged in nor written over.
    if (!c.multiString) {
      EXPECT_EQ(DumpRegKey(kHkeyLocalMachine, k21), c.lines.empty() ? machine : family);
    }
  }
}

// ---------------------------------------------------------------------------
// Registration of the COM server

using RegisterTest = test::ShellTest;

TEST_F(RegisterTest, Regsvr32RunsSilentlyOnTheServerAndItsExitCodeIsLogged) {
  InstallRegsvr32(3);
  for (std::string shell : {dir / "shell", dir / A("Программы/Zarvik Solvane")}) {
    Install(shell, oldGroup);
    WriteFile(shell + "/bin/SlvAPP.dll", "MZ");
    EXPECT_THAT(Step(&MainUpdater::registerSlvAPP),
                ElementsAre("DEBUG registerSlvAPP(): regsvr32 returned 3"));
  }
  // The path with a space arrives whole: it was quoted on the command line.
  EXPECT_THAT(Regsvr32Arguments(), ElementsAre("/s", dir / "shell/bin/SlvAPP.dll", "/s",
                                               dir / A("Программы/Zarvik Solvane/bin/SlvAPP.dll")));
}

TEST_F(RegisterTest, WithoutTheServerNothingRunsAndNothingIsLogged) {
  InstallRegsvr32(0);
  Install(root, oldGroup);
  EXPECT_THAT(Step(&MainUpdater::registerSlvAPP), IsEmpty());
  std::filesystem::create_directories(AnsiToUtf8(root + "/bin/SlvAPP.dll"));
  EXPECT_THAT(Step(&MainUpdater::registerSlvAPP), IsEmpty());
  EXPECT_THAT(Regsvr32Arguments(), IsEmpty());
}

TEST_F(RegisterTest, WhereRegsvr32CannotRunTheServerStaysUnregisteredWithAWarning) {
  // Nothing else on the PATH: Wine, for one, brings a regsvr32 of its own.
  test::ScopedEnv pathWithoutRegsvr32("PATH", dir / "path");
  Install(root, oldGroup);
  WriteFile(root + "/bin/SlvAPP.dll", "MZ");
  EXPECT_THAT(Step(&MainUpdater::registerSlvAPP),
              ElementsAre("WARN registerSlvAPP(): regsvr32 cannot be run here, " + root +
                          "/bin/SlvAPP.dll is not registered"));
}

// ---------------------------------------------------------------------------
// The Start-menu group moved into the common Programs folder

class CopyShortcutsTest : public test::ShellTest {
 protected:
  void MakeGroup() {
    WriteFile(oldGroup + "/Solvane 2.0.lnk", "main");
    WriteFile(oldGroup + A("/Справка Solvane 2.0.lnk"), "help");
    WriteFile(oldGroup + "/Tools/Deep/Uninstall.lnk", "uninstall");
    test::MakeReadOnly(oldGroup + "/Tools/Deep/Uninstall.lnk");
  }
  std::vector<std::string> kGroupTree = {"Solvane 2.0.lnk", "Tools/", "Tools/Deep/",
                                         "Tools/Deep/Uninstall.lnk", A("Справка Solvane 2.0.lnk")};
};

TEST_F(CopyShortcutsTest, TheGroupMovesAndTheValueFollows) {
  Install(root, oldGroup);
  MakeGroup();
  WriteFile(common + "/Solvane 2.0.lnk", "stale");
  EXPECT_THAT(Step(&MainUpdater::copySlvShortcuts),
              ElementsAre("DEBUG copySlvShortcuts(): shortcuts moved from " + Quoted(oldGroup) +
                          " to " + Quoted(common)));
  EXPECT_EQ(test::ListTree(common), kGroupTree);
  EXPECT_EQ(test::ReadFile(common + "/Solvane 2.0.lnk"), "main");
  EXPECT_EQ(test::ReadFile(common + A("/Справка Solvane 2.0.lnk")), "help");
  EXPECT_FALSE(PathExists(oldGroup));
  EXPECT_EQ(Group(), common);

  // The next run finds the group in place.
  EXPECT_THAT(Step(&MainUpdater::copySlvShortcuts), IsEmpty());
  EXPECT_EQ(test::ListTree(common), kGroupTree);
}

// Links planted in the group: none is followed, copied or has its target
// deleted; the group still moves.
TEST_F(CopyShortcutsTest, LinksInTheGroupAreNeitherFollowedNorCopied) {
  Install(root, oldGroup);
  MakeGroup();
  WriteFile(dir / "outside/secret.lnk", "secret");
  std::filesystem::create_symlink(AnsiToUtf8(dir / "outside/secret.lnk"),
                                  AnsiToUtf8(oldGroup + "/evil.lnk"));
  std::filesystem::create_directory_symlink(AnsiToUtf8(dir / "outside"),
                                            AnsiToUtf8(oldGroup + "/Tools/evil"));
  EXPECT_THAT(Step(&MainUpdater::copySlvShortcuts),
              ElementsAre("WARN copySlvShortcuts(): " + Quoted(oldGroup + "/evil.lnk") +
                              " is a link, not copied",
                          "DEBUG copySlvShortcuts(): shortcuts moved from " + Quoted(oldGroup) +
                              " to " + Quoted(common)));
  EXPECT_EQ(test::ListTree(common), kGroupTree);
  EXPECT_EQ(test::ListTree(dir / "outside"), std::vector<std::string>{"secret.lnk"});
  EXPECT_EQ(test::ReadFile(dir / "outside/secret.lnk"), "secret");
}

TEST_F(CopyShortcutsTest, AGroupThatIsTheCommonOneAlreadyStays) {
  std::string sameGroup = dir / "xdg/applications/ZARVIK SOLVANE/";
  Install(root, sameGroup);
  WriteFile(common + "/Solvane 2.0.lnk", "main");
  EXPECT_THAT(Step(&MainUpdater::copySlvShortcuts), IsEmpty());
  EXPECT_EQ(test::ListTree(common), std::vector<std::string>{"Solvane 2.0.lnk"});
  EXPECT_EQ(Group(), sameGroup);
}

TEST_F(CopyShortcutsTest, TheOldGroupStaysUnlessEveryShortcutArrived) {
  Install(root, oldGroup);
  MakeGroup();
  std::filesystem::create_directories(AnsiToUtf8(common + "/Solvane 2.0.lnk"));
  EXPECT_THAT(Step(&MainUpdater::copySlvShortcuts),
              ElementsAre("ERROR copySlvShortcuts(): shortcuts not copied completely "
                          "from " +
                          Quoted(oldGroup) + " to " + Quoted(common)));
  EXPECT_EQ(test::ListTree(oldGroup), kGroupTree);
  EXPECT_EQ(Group(), oldGroup);
}

TEST_F(CopyShortcutsTest, NothingMovesWithoutAGroupOrIntoTheGroupItself) {
  SetRegString(kHkeyLocalMachine, kMainKey, "root", root);
  EXPECT_THAT(Step(&MainUpdater::copySlvShortcuts),
              ElementsAre("WARN copySlvShortcuts(): the shell names no program group, nothing "
                          "done"));

  // A group that holds the common folder would be deleted with the copy.
  std::string applications = dir / "xdg/applications";
  Install(root, applications);
  WriteFile(applications + "/Solvane 2.0.lnk", "main");
  EXPECT_THAT(Step(&MainUpdater::copySlvShortcuts),
              ElementsAre("ERROR copySlvShortcuts(): " + Quoted(common) + " lies inside " +
                          Quoted(applications) + ", shortcuts stay where they are"));
  EXPECT_EQ(test::ListTree(applications), std::vector<std::string>{"Solvane 2.0.lnk"});
  EXPECT_EQ(Group(), applications);
}

// ---------------------------------------------------------------------------
// Shortcuts of version 2.0 renamed

class RenameShortcutsTest : public test::ShellTest {
 protected:
  std::string Renamed(const std::string& from, const std::string& to) {
    return "DEBUG adjustSlvShortcutsNames(): renamed " + Quoted(oldGroup + "/" + from) + " to " +
           Quoted(oldGroup + "/" + to);
  }
};

TEST_F(RenameShortcutsTest, NamesWith20BecomeNamesWith21ListedBeforeTheFirstRename) {
  Install(root, oldGroup);
  for (const char* name :
       {"Solvane 2.0.lnk", "Справка Solvane 2.0.lnk", "Readme.txt", "Other/solvane 2.0.lnk",
        "Other/Sub/Solvane 2.0 Web.lnk", "Solvane 2.0 Tools/Solvane 2.0 Help.lnk"}) {
    WriteFile(oldGroup + "/" + A(name), name);
  }
  EXPECT_THAT(
      Step(&MainUpdater::adjustSlvShortcutsNames),
      ElementsAre(Renamed("Solvane 2.0 Tools", "Solvane 2.1 Tools"),
                  Renamed("Solvane 2.0.lnk", "Solvane 2.1.lnk"),
                  Renamed(A("Справка Solvane 2.0.lnk"), A("Справка Solvane 2.1.lnk")),
                  Renamed("Other/Sub/Solvane 2.0 Web.lnk", "Other/Sub/Solvane 2.1 Web.lnk")));
  // The letter case must match; the entry of the renamed folder was listed
  // under the folder's old name and keeps its own.
  EXPECT_EQ(test::ListTree(oldGroup),
            (std::vector<std::string>{"Other/", "Other/Sub/", "Other/Sub/Solvane 2.1 Web.lnk",
                                      "Other/solvane 2.0.lnk", "Readme.txt", "Solvane 2.1 Tools/",
                                      "Solvane 2.1 Tools/Solvane 2.0 Help.lnk", "Solvane 2.1.lnk",
                                      A("Справка Solvane 2.1.lnk")}));
  EXPECT_EQ(test::ReadFile(oldGroup + A("/Справка Solvane 2.1.lnk")), "Справка Solvane 2.0.lnk");
}

TEST_F(RenameShortcutsTest, AnEmptyOrMissingGroupIsReported) {
  Install(root, oldGroup);
  std::filesystem::create_directories(AnsiToUtf8(oldGroup));
  EXPECT_THAT(Step(&MainUpdater::adjustSlvShortcutsNames),
              ElementsAre("WARN adjustSlvShortcutsNames(): found no files in " + Quoted(oldGroup) +
                          " group folder"));
  std::filesystem::remove(AnsiToUtf8(oldGroup));
  EXPECT_THAT(Step(&MainUpdater::adjustSlvShortcutsNames),
              ElementsAre("WARN adjustSlvShortcutsNames(): found no files in " + Quoted(oldGroup) +
                          " group folder"));
}

// ---------------------------------------------------------------------------
// The uninstall entry

class UninstallTest : public test::ShellTest {
 protected:
  void MakeEntry(const char* key, const std::string& label) {
    SetRegString(kHkeyLocalMachine, key, "DisplayName", label);
    SetRegString(kHkeyLocalMachine, key, "UninstallString", A("C:\\Программы\\unins000.exe"));
    SetRegValue(kHkeyLocalMachine, key, "NoModify", reg::kRegDword, "\x01\0\0\0"s);
    SetRegString(kHkeyLocalMachine, key + "\\Parts"s, "", "main");
  }
};

// The 2.0 entry moves to the 2.1 name relabelled; one that cannot move whole
// is reported and kept, relabelled already (the label goes first, so that a
// run killed between the two steps leaves the next run the move); without
// one nothing changes.
TEST_F(UninstallTest, The20EntryMovesAndIsRelabelled) {
  const std::string notMoved = "ERROR adjustSlvUninstallLabels(): uninstall entry not moved from " +
                               Quoted(kOldUninstall) + " to " + Quoted(kNewUninstall);
  for (const char* key : {kOldUninstall, kNewUninstall, "unmovable"}) {
    SCOPED_TRACE(key);
    test::TempRegistry fresh;
    const bool unmovable = key == std::string("unmovable");
    MakeEntry(unmovable ? kOldUninstall : key, "Zarvik:Solvane 2.0");
    if (unmovable)
      SetRegValue(kHkeyLocalMachine, kOldUninstall, "Parts", reg::kRegMultiSz, "a\0\0"s);
    test::KeyTree entry = DumpRegKey(kHkeyLocalMachine, unmovable ? kOldUninstall : key);
    EXPECT_EQ(Step(&MainUpdater::adjustSlvUninstallLabels),
              unmovable ? std::vector<std::string>{notMoved} : std::vector<std::string>{});
    if (key == kOldUninstall) {
      EXPECT_THAT(DumpRegKey(kHkeyLocalMachine, kOldUninstall), IsEmpty());
      test::KeyTree moved = DumpRegKey(kHkeyLocalMachine, kNewUninstall);
      EXPECT_EQ(RegReadString(kHkeyLocalMachine, kNewUninstall, "DisplayName"),
                "Zarvik:Solvane 2.1");
      EXPECT_EQ(moved.erase("|DisplayName") + entry.erase("|DisplayName"), 2u);
      EXPECT_EQ(moved, entry);
    } else {
      test::KeyTree kept = DumpRegKey(kHkeyLocalMachine, unmovable ? kOldUninstall : key);
      if (unmovable) {
        EXPECT_EQ(RegReadString(kHkeyLocalMachine, kOldUninstall, "DisplayName"),
                  "Zarvik:Solvane 2.1");
        kept.erase("|DisplayName");
        entry.erase("|DisplayName");
      }
      EXPECT_EQ(kept, entry);
    }
  }
}

// ---------------------------------------------------------------------------
// The steps after the fixed ones together

// The shell's updater and its finishing one (which only opens the shell tree
// to all users again), on NT systems and elsewhere, and an exception out of
// the first step.
struct AfterCase {
  const char* name;
  bool finish, nt, failing;
  std::vector<std::string> lines;  // tokens, see below
  bool moved;                      // the group into the common Programs
  const char* shortcut;
  bool relabelled, rightsChanged;
};

class AfterExecuteTest : public test::ShellTest, public ::testing::WithParamInterface<AfterCase> {};

TEST_P(AfterExecuteTest, StepsInOrder) {
  const AfterCase& c = GetParam();
  InstallWholeShell();
  if (!c.nt) fakeApi.platformId = 1;
  const std::string group = c.moved ? common : oldGroup;
  const std::map<std::string, std::string> tokens = {
      {"registered", "DEBUG registerSlvAPP(): regsvr32 returned 0"},
      {"moved", "DEBUG copySlvShortcuts(): shortcuts moved from " + Quoted(oldGroup) + " to " +
                    Quoted(common)},
      {"allowed", "DEBUG allowSlvFilesForEveryone() succeeded"},
      {"renamed", "DEBUG adjustSlvShortcutsNames(): renamed " + Quoted(group + "/Solvane 2.0.lnk") +
                      " to " + Quoted(group + "/Solvane 2.1.lnk")},
      {"done", "DEBUG AfterExecute() succeeded"},
      {"failed", "ERROR AfterExecute() failed: ESlvUpdater (the log is full)"},
  };
  std::vector<std::string> expected;
  for (const std::string& token : c.lines)
    expected.push_back(tokens.at(token));
  test::LogCapture finishLog("TSlv2MainFinishUpdater");
  std::optional<test::FailingLog> failing;
  if (c.failing) failing.emplace("TSlv2MainUpdater", "registerSlvAPP(): regsvr32 returned");
  c.finish ? test::FinishUpdater(&fakeApi).AfterExecute()
           : test::MainUpdater(&fakeApi).AfterExecute();
  EXPECT_EQ(c.finish ? finishLog.Lines() : log.Lines(), expected);
  EXPECT_EQ(Group(), group);
  EXPECT_EQ(test::ListTree(group), std::vector<std::string>{c.shortcut});
  EXPECT_EQ(Regsvr32Arguments().empty(), c.finish);
  EXPECT_EQ(RegReadStringDef(kHkeyLocalMachine, kNewUninstall, "DisplayName", "<none>"),
            c.relabelled ? "Zarvik:Solvane 2.1" : "<none>");
  // Opened to all users, the shell folder hands full control down to what
  // is created in it.
  EXPECT_EQ(::getxattr(AnsiToUtf8(root).c_str(), "system.posix_acl_default", nullptr, 0) > 0,
            c.rightsChanged);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Shell, AfterExecuteTest, ::testing::Values(
    AfterCase{"OnNt", false, true, false, {"registered", "moved", "allowed", "renamed", "done"}, true, "Solvane 2.1.lnk", true, true},
    AfterCase{"Elsewhere", false, false, false, {"registered", "renamed", "done"}, false, "Solvane 2.1.lnk", true, false},
    AfterCase{"FailingFirstStep", false, true, true, {"registered", "failed"}, false, "Solvane 2.0.lnk", false, false},
    AfterCase{"FinishingOnNt", true, true, false, {"allowed"}, false, "Solvane 2.0.lnk", false, true},
    AfterCase{"FinishingElsewhere", true, false, false, {}, false, "Solvane 2.0.lnk", false, false}),
    [](const auto& row) { return std::string(row.param.name); });
// clang-format on

// ---------------------------------------------------------------------------
// Unknown folders and roots of the file system

using GuardTest = test::ShellTest;

TEST_F(GuardTest, RootFoldersAreRefused) {
  MainUpdater updater;
  log.Clear();
  for (const char* folder : {"/", "\\", "/opt/..", "C:\\", "C:", "\\\\server\\share\\"})
    EXPECT_FALSE(updater.CheckFolder("step", "shell folder", folder)) << folder;
  for (const char* folder : {"/opt/zarvik", "C:\\Zarvik", "\\\\server\\share\\zarvik", "zarvik"})
    EXPECT_TRUE(updater.CheckFolder("step", "shell folder", folder)) << folder;
  EXPECT_FALSE(updater.CheckFolder("step", "group folder", ""));
  std::vector<std::string> lines = log.Lines();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "ERROR step(): shell folder \"/\" is a root folder, nothing done");
  EXPECT_EQ(lines[6], "ERROR step(): group folder is unknown, nothing done");
}

TEST_F(GuardTest, NoStepActsOnTheRootOfTheFileSystem) {
  if (!test::RunsAsRoot()) GTEST_SKIP() << "the jail for this test needs root";
  test::TempDir jail;
  test::ScopedEnv jailRegistry("SLV2_REGISTRY", jail / "registry.db");
  WriteFile(jail / "Solvane 2.0.lnk", "main");
  WriteFile(jail / "bin/SlvAPP.dll", "MZ");
  // Without a group there is nothing to move or rename: a warning.
  auto unknown = [](const char* step, const char* what) {
    return std::string(what) == "group folder"
               ? "WARN "s + step + "(): the shell names no program group, nothing done"
               : "ERROR "s + step + "(): " + what + " is unknown, nothing done";
  };
  auto isRoot = [](const char* step, const char* what) {
    return "ERROR "s + step + "(): " + what + " \"/\" is a root folder, nothing done";
  };
  for (auto line : {+unknown, +isRoot}) {
    std::string folder = line == +unknown ? "" : "/";
    Install(folder, folder);
    MainUpdater updater(&fakeApi);
    EXPECT_THAT(test::RunJailed(jail.Path(), log, [&] { updater.AfterExecute(); }),
                ElementsAre(line("registerSlvAPP", "shell folder"),
                            line("copySlvShortcuts", "group folder"),
                            line("allowSlvFilesForEveryone", "shell folder"),
                            line("adjustSlvShortcutsNames", "group folder"),
                            "DEBUG AfterExecute() succeeded"));
  }
  EXPECT_TRUE(PathExists(jail / "Solvane 2.0.lnk"));
  EXPECT_FALSE(PathExists(jail / "Solvane 2.1.lnk"));
  EXPECT_FALSE(PathExists(jail / "xdg/applications/Zarvik Solvane"));
}

}  // namespace
}  // namespace slv2
