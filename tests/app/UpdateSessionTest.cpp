// The start-up sequence and the run against real registries and real update
// storages, through a scripted user interface that records what it is asked
// and answers the boxes from a script.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>

#include "TestSupport.h"
#include "UpdaterTestSupport.h"
#include "app/ExitStatus.h"
#include "app/UpdateSession.h"
#include "storage/gmStorage.h"
#include "sys/Cp1251.h"
#include "sys/registry/RegFunctions.h"

namespace slv2 {
namespace {

using test::A;

class ScriptedUi : public TUpdateUi {
 public:
  std::vector<std::string> memo;
  std::vector<TBoxId> boxes;
  std::deque<TBoxAnswer> answers;  // for boxes with Cancel; empty: Cancel
  std::vector<std::string> errors;
  std::vector<TSessionState> states;
  int terminated = 0;
  int processed = 0;
  std::function<void()> onProcessMessages;

  void AddLine(const std::string& text) override { memo.push_back(text); }
  void AppendToLastLine(const std::string& text) override { memo.back() += text; }
  TBoxAnswer ShowMessageBox(const TMessageBox& box) override {
    boxes.push_back(box.id);
    if (!box.hasCancel) return TBoxAnswer::Ok;
    if (answers.empty()) return TBoxAnswer::Cancel;
    TBoxAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ShowError(const std::string& message) override { errors.push_back(message); }
  void ProcessMessages() override {
    ++processed;
    if (onProcessMessages) onProcessMessages();
  }
  void ShowState(TSessionState state) override { states.push_back(state); }
  void Terminate() override { ++terminated; }
};

// An updater that counts its runs.
class TCountingUpdater : public TSlv2Updater {
 public:
  using TSlv2Updater::TSlv2Updater;
  static inline int runs = 0;
  void BeforeExecute() override { ++runs; }
};

const TSlv2UpdaterClass& CountingType(const char* id) {
  static std::map<std::string, std::unique_ptr<TSlv2UpdaterClass>> types;
  auto& type = types[id];
  if (!type) {
    type =
        std::make_unique<TSlv2UpdaterClass>("TCountingUpdater", id, std::string("Counting ") + id,
                                            "", false, MakeUpdater<TCountingUpdater>);
  }
  return *type;
}

class UpdateSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(package);
    RegWriteString(reg::kHkeyLocalMachine, kFamily + "\\main", "root", dir / "shell");
    test::InstallCommonGroup(kFamily + "\\main");
    TCountingUpdater::runs = 0;
  }

  // Registers the product under the machine-wide family key.
  void Install(const std::string& id) {
    // The shell's own key, with its folder, is there from the start.
    if (id != "main") RegWriteString(reg::kHkeyLocalMachine, kFamily + "\\" + id, "root", id);
  }
  // An update storage in the package folder, empty or with the streams.
  void Package(const std::string& storageName, const test::Streams& streams = {}) {
    test::StorageWriter writer(package + "/" + storageName + ".stg");
    for (const auto& [path, content] : streams)
      writer.Add(path, content);
  }

  TSessionOptions Options(std::vector<const TSlv2UpdaterClass*> catalogue = {}) {
    TSessionOptions options = DefaultSessionOptions(package);
    if (!catalogue.empty()) options.catalogue = std::move(catalogue);
    options.isAdministrator = [this] { return administrator; };
    options.isShellRunning = [this] { return shellChecks-- > 0; };
    return options;
  }

  const std::string kFamily = "\\Software\\Zarvik\\Solvane 2.1";
  test::TempRegistry registry;
  test::TempDir dir;
  // The common program group lies in the test's folder.
  test::ScopedEnv dataHome{"XDG_DATA_HOME", dir / "share"};
  std::string package = dir / "pkg";
  bool administrator = true;
  int shellChecks = 0;  // how many checks still find the shell's window
  ScriptedUi ui;
};

// The start-up sequence and the run are seen end to end in MainTest and in
// FormMainTest; these cases pin the order of the calls and the outcomes.

TEST_F(UpdateSessionTest, ListsInstalledProductsWithAStorageAndRunsThemInOrder) {
  for (const char* id : {"main", "punctuation", "mathematics1", "orthography"})
    Install(id);
  // ege has a storage but is not installed; orthography is installed
  // without one; both shell types read main.stg.
  for (const char* name : {"mathematics1", "punctuation", "main", "ege"})
    Package(name);
  TUpdateSession session(ui, Options());
  ui.onProcessMessages = [&] { session.FormShow(); };  // shown again meanwhile
  session.FormShow();
  ui.onProcessMessages = nullptr;
  std::vector<std::string> expected = {"",
                                       A("Установленные продукты, подлежащие обновлению:"),
                                       A("  Оболочка Zarvik:Solvane"),
                                       A("  Тесты по пунктуации"),
                                       A("  Математика (часть 1)"),
                                       ""};
  EXPECT_EQ(ui.memo, expected);
  EXPECT_EQ(ui.processed, 6);  // after every memo line
  EXPECT_TRUE(ui.boxes.empty());

  session.RunUpdates();
  expected.insert(expected.end(), {A("Обновление продукта \"Оболочка Zarvik:Solvane\"...OK"),
                                   A("Обновление продукта \"Тесты по пунктуации\"...OK"),
                                   A("Обновление продукта \"Математика (часть 1)\"...OK"),
                                   A("Завершение обновления оболочки Zarvik:Solvane...OK")});
  EXPECT_EQ(ui.memo, expected);
  EXPECT_EQ(ui.processed, 14);
  EXPECT_EQ(ui.boxes, std::vector<TBoxId>{TBoxId::UpdateFinished});
  EXPECT_EQ(ui.states, (std::vector<TSessionState>{TSessionState::Checking, TSessionState::Ready,
                                                   TSessionState::Running, TSessionState::Done}));
  EXPECT_EQ(session.ExitStatus(), kExitUpdated);
}

TEST_F(UpdateSessionTest, AStorageThatDoesNotOpenLeavesOutOnlyItsProductButFailsTheRun) {
  Install("main");
  Install("punctuation");
  Package("main");
  test::WriteFile(package + "/punctuation.stg", "not a compound file");
  TUpdateSession session(ui, Options());
  session.FormShow();
  ASSERT_FALSE(ui.memo.empty());
  EXPECT_EQ(ui.memo[0].rfind(A("Продукт \"Тесты по пунктуации\" не будет обновлён. ОШИБКА: "), 0),
            0u)
      << AnsiToUtf8(ui.memo[0]);
  EXPECT_EQ(session.Updaters().size(), 2u);  // the shell and its finishing
  session.RunUpdates();
  EXPECT_EQ(ui.memo.back(), A("Завершение обновления оболочки Zarvik:Solvane...OK"));
  EXPECT_EQ(session.ExitStatus(), kExitFailed);

  // When nothing else is left, the box says so, but the status is a failure.
  test::TempRegistry empty;
  RegWriteString(reg::kHkeyLocalMachine, kFamily + "\\punctuation", "root", "p");
  ScriptedUi second;
  TUpdateSession alone(second, Options());
  alone.FormShow();
  EXPECT_EQ(second.boxes, std::vector<TBoxId>{TBoxId::NothingToUpdate});
  EXPECT_EQ(alone.ExitStatus(), kExitFailed);
}

TEST_F(UpdateSessionTest, TheShellBoxRepeatsAfterOkAndCancelEndsTheProgram) {
  Install("main");
  Package("main");
  shellChecks = 2;
  ui.answers = {TBoxAnswer::Ok, TBoxAnswer::Ok};
  {
    TUpdateSession closed(ui, Options());
    closed.FormShow();
    EXPECT_EQ(ui.boxes, (std::vector<TBoxId>{TBoxId::ShellRunning, TBoxId::ShellRunning}));
    EXPECT_EQ(closed.State(), TSessionState::Ready);
  }

  for (bool unattended : {false, true}) {
    shellChecks = 5;
    ui = ScriptedUi();
    ui.answers = {TBoxAnswer::Ok};  // then Cancel
    TSessionOptions options = Options();
    options.unattended = unattended;
    TUpdateSession session(ui, std::move(options));
    session.FormShow();
    EXPECT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.terminated, 1);
    EXPECT_EQ(session.ExitStatus(), unattended ? kExitShellRunning : kExitCancelled);
    session.RunUpdates();  // a terminated session never runs
    EXPECT_EQ(ui.memo.size(), 4u);
  }
}

TEST_F(UpdateSessionTest, AnErrorOfTheStartUpIsShownAndEndsTheProgram) {
  Install("main");
  Package("main");
  TSessionOptions options = Options();
  options.isShellRunning = []() -> bool { throw ESlvUpdater("no window system"); };
  TUpdateSession session(ui, std::move(options));
  session.FormShow();
  EXPECT_EQ(ui.errors, std::vector<std::string>{"no window system"});
  EXPECT_EQ(ui.terminated, 1);
  EXPECT_EQ(session.ExitStatus(), kExitFailed);
}

TEST_F(UpdateSessionTest, RunsOncePerStartAndNeverWhileRunning) {
  Install("ege");
  Package("ege");
  TUpdateSession session(ui, Options({&CountingType("ege"), &CountingType("ege")}));
  session.RunUpdates();  // not before the start-up made it ready
  EXPECT_EQ(TCountingUpdater::runs, 0);
  session.FormShow();
  // Closed before the run: the user cancelled.
  EXPECT_TRUE(session.CanClose());
  EXPECT_EQ(session.ExitStatus(), kExitCancelled);

  // A second press arrives while the messages are processed during the
  // run; a close request then is refused.
  std::vector<bool> closable;
  ui.onProcessMessages = [&] {
    closable.push_back(session.CanClose());
    session.RunUpdates();
  };
  session.RunUpdates();
  EXPECT_EQ(TCountingUpdater::runs, 2);
  EXPECT_EQ(closable, std::vector<bool>(4, false));
  EXPECT_TRUE(session.CanClose());
  ui.onProcessMessages = nullptr;
  session.RunUpdates();
  EXPECT_EQ(TCountingUpdater::runs, 2);
  EXPECT_EQ(ui.boxes, std::vector<TBoxId>{TBoxId::UpdateFinished});
}

// A run removes the temporary files a killed run left in the folders it
// writes to, and nothing else.
TEST_F(UpdateSessionTest, TemporaryFilesAKilledRunLeftAreRemovedByTheNextRun) {
  Install("ege");
  Package("ege", {{"files/product/new.txt", "new"}});
  const std::pair<std::string, bool> files[] = {
      {"shell/~sv1A2B.TMP", true},
      {"shell/ege/bin/~svF.TMP", true},
      {"shell/help/deep/~sv0123.TMP", true},
      {"shell/~sv12345.TMP", false},
      {"shell/~svG1.TMP", false},
      {"shell/tmp1A2B.TMP", false},
      {"shell/ege/~sv1A2B.txt", false},
      {"elsewhere/~sv1A2B.TMP", false},
  };
  for (const auto& [file, left] : files)
    test::WriteFile(dir / file, "left");
  TUpdateSession session(ui, Options());
  session.FormShow();
  session.RunUpdates();
  EXPECT_EQ(session.ExitStatus(), kExitUpdated);
  for (const auto& [file, left] : files)
    EXPECT_EQ(test::PathExists(dir / file), !left) << file;
}

// --- The lock of the run ------------------------------------------------------

// Whether a start now could take the lock (it is free), letting it go again.
bool LockFree() {
  return TRunLock::TryAcquire() != nullptr;
}

TEST_F(UpdateSessionTest, TheLockIsHeldFromTheStartUpUntilTheRunEnds) {
  Install("ege");
  Package("ege");
  TUpdateSession session(ui, Options());
  EXPECT_TRUE(LockFree());
  session.FormShow();
  EXPECT_FALSE(LockFree());  // ready, waiting for the run button
  std::vector<bool> freeWhileRunning;
  ui.onProcessMessages = [&] { freeWhileRunning.push_back(LockFree()); };
  session.RunUpdates();
  EXPECT_EQ(freeWhileRunning, std::vector<bool>(2, false));
  // The window may stay open over the results; the next update may start.
  EXPECT_TRUE(LockFree());

  // A start-up check that ends the program lets the lock go as well.
  ScriptedUi second;
  TUpdateSession nothing(second, Options({&CountingType("px2002")}));
  nothing.FormShow();
  EXPECT_EQ(second.boxes, std::vector<TBoxId>{TBoxId::NothingToUpdate});
  EXPECT_TRUE(LockFree());
}

TEST_F(UpdateSessionTest, WhileAnotherHoldsTheLockTheStartUpEndsAtOnce) {
  Install("ege");
  Package("ege");
  std::unique_ptr<TRunLock> other = TRunLock::TryAcquire();
  ASSERT_TRUE(other);
  TUpdateSession session(ui, Options());
  session.FormShow();
  EXPECT_EQ(ui.boxes, std::vector<TBoxId>{TBoxId::AlreadyRunning});
  EXPECT_TRUE(ui.memo.empty());
  EXPECT_EQ(ui.terminated, 1);
  EXPECT_EQ(session.ExitStatus(), kExitAlreadyRunning);
  EXPECT_TRUE(session.Updaters().empty());

  // Rights come first: a non-administrator hears about those.
  administrator = false;
  ScriptedUi second;
  TUpdateSession refused(second, Options());
  refused.FormShow();
  EXPECT_EQ(second.boxes, std::vector<TBoxId>{TBoxId::AdminRights});
  EXPECT_EQ(refused.ExitStatus(), kExitNotAdministrator);
}

#ifndef _WIN32
// On Linux the lock is a file beside the registry database (on Windows a
// named mutex, which can always be tried).
TEST_F(UpdateSessionTest, ALockThatCannotBeTriedIsAnErrorOfTheStartUp) {
  Install("ege");
  Package("ege");
  // The registry's folder is a file: no lock file can be made beside it.
  test::WriteFile(dir / "blocker", "");
  std::string database = dir / "blocker/registry.db";
  test::SetEnv("SLV2_REGISTRY", &database);
  TUpdateSession session(ui, Options());
  session.FormShow();
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(
      ui.errors[0].rfind("Cannot open the lock file \"" + dir / "blocker/registry.db.lock", 0), 0u)
      << ui.errors[0];
  EXPECT_EQ(session.ExitStatus(), kExitFailed);
}
#endif

#ifndef _WIN32
// The Linux registry is a database of its own: one that does not open or is
// damaged is an error of the start-up, never a machine with nothing
// installed.
TEST_F(UpdateSessionTest, ARegistryDatabaseThatDoesNotOpenOrIsDamagedIsAnErrorOfTheStartUp) {
  Package("ege");
  std::string good = dir / "good.db";
  {
    test::ScopedEnv database("SLV2_REGISTRY", good);
    test::WriteFile(
        dir / "family.reg",
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Zarvik\\Solvane 2.1\\main]\r\n"
        "\"root\"=\"/opt/s\"\r\n[HKEY_LOCAL_MACHINE\\Software\\Zarvik\\Solvane 2.1\\ege]"
        "\r\n\"root\"=\"ege\"\r\n");
    ASSERT_EQ(test::RunProgram("regedit", {"/s", dir / "family.reg"}, dir / "out", dir / "err"), 0);
  }
  const std::string bytes = test::ReadFile(good);
  const size_t page =
      (static_cast<unsigned char>(bytes[16]) << 8) | static_cast<unsigned char>(bytes[17]);
  auto damaged = [&](size_t offset, size_t count) {
    std::string copy = bytes;
    copy.replace(offset, count, count, '\x5A');
    return copy;
  };
  struct Case {
    const char* what;
    std::string content;  // nullptr-like "": a folder
  };
  const Case cases[] = {
      {"a folder", ""},
      {"not a database", "registry of the family, surely"},
      {"a damaged header", damaged(16, 2)},
      {"a damaged page", damaged(page + 8, 64)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string database = dir / (std::string("registry-") + c.what + ".db");
    c.content.empty() ? (void)std::filesystem::create_directories(test::FsPath(database))
                      : test::WriteFile(database, c.content);
    test::ScopedEnv variable("SLV2_REGISTRY", database);
    ui = ScriptedUi();
    TUpdateSession session(ui, Options());
    session.FormShow();
    ASSERT_EQ(ui.errors.size(), 1u);
    EXPECT_NE(ui.errors[0].find("registry database \"" + database + "\""), std::string::npos)
        << ui.errors[0];
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(session.ExitStatus(), kExitFailed);
  }
}

#endif

// --- Product folders ------------------------------------------------------------

TEST_F(UpdateSessionTest, AnUnknownProductFolderSkipsOnlyItsStepsAnUnknownShellFolderTheProduct) {
  const std::string skipped =
      A("Продукт \"Интерактивные тесты по ЕГЭ\" не будет обновлён. ОШИБКА: ");
  const std::string unknown =
      "; 1 error in the detailed log: ProcessFiles(): Destination folder of \"product\" is "
      "unknown, its files are skipped)";
  struct Case {
    const char* shell;    // the family's "main" root ("@": the test's folder); nullptr: none
    const char* product;  // the product's root
    std::string error;    // "": created and updated
  };
  const Case cases[] = {
      {"@/Solvane", "ege", ""},
      {"@/Solvane", "../ege", ""},
      // Only the steps that need the product folder are skipped.
      {"@/Solvane", "", "ESlvUpdater (The product folder is unknown" + unknown},
      {"@/Solvane", "C:ege",
       "ESlvUpdater (The product folder \"C:ege\" is not a full path" + unknown},
      // Every product writes to the shell folder: without it the product is
      // left out.
      {"", "ege", "ESlvUpdater (The shell folder is unknown)"},
      {nullptr, "ege", "ESlvUpdater (The shell folder is unknown)"},
      {"Solvane", "/opt/ege", "ESlvUpdater (The shell folder \"Solvane\" is not a full path)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.shell ? c.shell : "(none)") + " + " + c.product);
    test::TempRegistry fresh;
    std::string shell = c.shell ? c.shell : "";
    if (shell.rfind("@", 0) == 0) shell = dir.Path() + shell.substr(1);
    if (c.shell) RegWriteString(reg::kHkeyLocalMachine, kFamily + "\\main", "root", shell);
    RegWriteString(reg::kHkeyLocalMachine, kFamily + "\\ege", "root", c.product);
    test::Streams streams = {{"files/product/p.txt", "p"}, {"files/solvane/help/ege.txt", "help"}};
#ifndef _WIN32  // regedit.exe would write the machine's registry, not the test's
    streams.push_back(
        {"registry/1.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\T]\r\n\"v\"=\"1\"\r\n"});
#endif
    Package("ege", streams);
    ui = ScriptedUi();
    TUpdateSession session(ui, Options());
    session.FormShow();
    session.RunUpdates();
    ASSERT_FALSE(ui.memo.empty());
    bool run = !session.Updaters().empty();
    EXPECT_EQ(run ? ui.memo.back() : ui.memo[0],
              run ? A("Обновление продукта \"Интерактивные тесты по ЕГЭ\"...") +
                        (c.error.empty() ? "OK" : A("ОШИБКА: ") + c.error)
                  : skipped + c.error);
    EXPECT_EQ(session.ExitStatus(), c.error.empty() ? kExitUpdated : kExitFailed);
    if (!run) continue;
    // What needs only the shell folder and the registry was done.
    EXPECT_EQ(test::Content(test::Join(shell, "help/ege.txt")), "help");
#ifndef _WIN32
    EXPECT_EQ(RegReadStringDef(reg::kHkeyLocalMachine, "\\Software\\T", "v", ""), "1");
#endif
    EXPECT_EQ(ui.boxes, std::vector<TBoxId>{TBoxId::UpdateFinished});
    std::filesystem::remove_all(test::FsPath(shell));
  }
}

TEST_F(UpdateSessionTest, AProductWhoseStepsLoggedErrorsFailsItsLineAndTheRun) {
  const std::string product = test::Join(dir.Path(), "shell/ege");
  struct Case {
    const char* what;
    test::Streams streams;
    std::string outcome;
  };
  const std::string replace = "[r]\r\nSearchFor=a\r\nReplaceWith=b\r\nFiles=dir*\r\n";
  const Case cases[] = {
      {"a file where a folder is",
       {{"files/product/dir1", "x"}},
       "1 error in the detailed log: ProcessFile() failed: ESlvUpdater (Error replacing \"" +
           test::Join(product, "dir1") + "\": "},
      {"a replacement in a folder",
       {{"StrReplace_After.ini", replace}},
       "1 error in the detailed log: StrReplace: Error reading file \"" +
           test::Join(product, "dir1") + "\")"},
      {"two failures",
       {{"StrReplace_After.ini", replace}, {"files/product/dir1", "x"}},
       "2 errors in the detailed log, the first: ProcessFile() failed: ESlvUpdater (Error "
       "replacing \""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempRegistry fresh;
    RegWriteString(reg::kHkeyLocalMachine, kFamily + "\\main", "root", dir / "shell");
    Install("ege");
    Install("px2002");
    test::WriteFile(product + "/dir1/inside.txt", "a folder");
    Package("ege", c.streams);
    Package("px2002");
    ui = ScriptedUi();
    TUpdateSession session(ui, Options());
    session.FormShow();
    session.RunUpdates();
    ASSERT_GE(ui.memo.size(), 2u);
    std::string failed =
        A("Обновление продукта \"Интерактивные тесты по ЕГЭ\"...ОШИБКА: ESlvUpdater (");
    EXPECT_EQ(ui.memo[ui.memo.size() - 2].rfind(failed + c.outcome, 0), 0u)
        << AnsiToUtf8(ui.memo[ui.memo.size() - 2]);
    EXPECT_EQ(ui.memo.back(), A("Обновление продукта \"Zarvik:Probix\"...OK"));
    EXPECT_EQ(ui.boxes, std::vector<TBoxId>{TBoxId::UpdateFinished});
    EXPECT_EQ(session.ExitStatus(), kExitFailed);
  }
}

}  // namespace
}  // namespace slv2
