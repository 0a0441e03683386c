// The start-up sequence and the run against real registries and real update
// storages, through a scripted user interface that records what it is asked
// and answers the boxes from a script.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>

#include "TestSupport.h"
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

// An updater whose run ends in an error before the fixed steps.
class TBrokenUpdater : public TSlv2Updater {
 public:
  using TSlv2Updater::TSlv2Updater;
  void BeforeExecute() override { throw ESlvUpdater("disk on fire"); }
};

// An updater that counts its runs.
class TCountingUpdater : public TSlv2Updater {
 public:
  using TSlv2Updater::TSlv2Updater;
  static inline int runs = 0;
  void BeforeExecute() override { ++runs; }
};

const TSlv2UpdaterClass& BrokenType() {
  static const TSlv2UpdaterClass type("TBrokenUpdater", "ege", A("Сломанный"), "", false,
                                      MakeUpdater<TBrokenUpdater>);
  return type;
}

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
    TCountingUpdater::runs = 0;
  }

  // Registers the product under the machine-wide family key.
  void Install(const std::string& id) {
    // The shell's own key, with its folder, is there from the start.
    if (id != "main") RegWriteString(reg::kHkeyLocalMachine, kFamily + "\\" + id, "root", id);
  }
  // An empty update storage in the package folder.
  void Package(const std::string& storageName) {
    TgmStorage::Create(package + "/" + storageName + ".stg",
                       stg::kStgmCreate | stg::kStgmReadWrite | stg::kStgmShareExclusive);
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
  std::string package = dir / "pkg";
  bool administrator = true;
  int shellChecks = 0;  // how many checks still find the shell's window
  ScriptedUi ui;
};

// --- Start-up ---------------------------------------------------------------

TEST_F(UpdateSessionTest, ListsInstalledProductsWithAStorageInCatalogueOrder) {
  for (const char* id : {"main", "punctuation", "mathematics1", "orthography"})
    Install(id);
  // ege has a storage but is not installed; orthography is installed
  // without one; both shell types read main.stg.
  for (const char* name : {"mathematics1", "punctuation", "main", "ege"})
    Package(name);
  TUpdateSession session(ui, Options());
  session.FormShow();

  std::vector<std::string> expected = {"",
                                       A("Установленные продукты, подлежащие обновлению:"),
                                       A("  Оболочка Zarvik:Solvane"),
                                       A("  Тесты по пунктуации"),
                                       A("  Математика (часть 1)"),
                                       ""};
  EXPECT_EQ(ui.memo, expected);
  ASSERT_EQ(session.Updaters().size(), 4u);
  EXPECT_EQ(session.Updaters().back().updater->UpdaterClass().ClassName(),
            "TSlv2MainFinishUpdater");
  EXPECT_EQ(session.State(), TSessionState::Ready);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(ui.terminated, 0);
  // Every memo line lets the window process its messages.
  EXPECT_EQ(ui.processed, 6);
}

TEST_F(UpdateSessionTest, ANonAdministratorSeesOneBoxAndNothingElse) {
  Install("main");
  Package("main");
  administrator = false;
  TUpdateSession session(ui, Options());
  session.FormShow();
  EXPECT_EQ(ui.boxes, std::vector<TBoxId>{TBoxId::AdminRights});
  EXPECT_TRUE(ui.memo.empty());
  EXPECT_TRUE(session.Updaters().empty());
  EXPECT_EQ(ui.terminated, 1);
  EXPECT_EQ(session.ExitStatus(), kExitNotAdministrator);
  // A terminated session never runs.
  session.RunUpdates();
  EXPECT_EQ(ui.memo.size(), 0u);
}

TEST_F(UpdateSessionTest, NothingToUpdateEndsTheProgramAfterTheEmptyList) {
  Install("punctuation");  // installed, but its storage is missing
  Package("ege");          // a storage, but not installed
  TUpdateSession session(ui, Options());
  session.FormShow();
  EXPECT_EQ(ui.memo.size(), 3u);
  EXPECT_EQ(ui.boxes, std::vector<TBoxId>{TBoxId::NothingToUpdate});
  EXPECT_EQ(ui.terminated, 1);
  EXPECT_EQ(session.ExitStatus(), kExitNothingToUpdate);
}

TEST_F(UpdateSessionTest, AStorageThatDoesNotOpenLeavesOnlyItsProductOut) {
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
  EXPECT_EQ(session.State(), TSessionState::Ready);
  // The products that opened are updated, but the run does not count as a
  // full success.
  session.RunUpdates();
  EXPECT_EQ(ui.memo.back(), A("Завершение обновления оболочки Zarvik:Solvane...OK"));
  EXPECT_EQ(session.ExitStatus(), kExitFailed);
}

TEST_F(UpdateSessionTest, OnlyUnopenableStoragesStillFailTheProgram) {
  Install("punctuation");
  test::WriteFile(package + "/punctuation.stg", "");
  TUpdateSession session(ui, Options());
  session.FormShow();
  EXPECT_EQ(ui.boxes, std::vector<TBoxId>{TBoxId::NothingToUpdate});
  EXPECT_EQ(session.ExitStatus(), kExitFailed);
}

TEST_F(UpdateSessionTest, TheShellBoxRepeatsAfterOkUntilTheShellIsClosed) {
  Install("main");
  Package("main");
  shellChecks = 2;
  ui.answers = {TBoxAnswer::Ok, TBoxAnswer::Ok};
  TUpdateSession session(ui, Options());
  session.FormShow();
  EXPECT_EQ(ui.boxes, (std::vector<TBoxId>{TBoxId::ShellRunning, TBoxId::ShellRunning}));
  EXPECT_EQ(session.State(), TSessionState::Ready);
  EXPECT_EQ(ui.terminated, 0);
}

TEST_F(UpdateSessionTest, CancelAtTheShellBoxEndsTheProgram) {
  Install("main");
  Package("main");
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
    session.RunUpdates();
    EXPECT_EQ(TCountingUpdater::runs, 0);
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

// --- The run ----------------------------------------------------------------

TEST_F(UpdateSessionTest, RunWritesOneLinePerProductAndTheFinishingForm) {
  for (const char* id : {"main", "punctuation", "orthography"})
    Install(id);
  for (const char* name : {"main", "punctuation", "orthography"})
    Package(name);
  TUpdateSession session(ui, Options());
  session.FormShow();
  session.RunUpdates();

  std::vector<std::string> tail(ui.memo.end() - 4, ui.memo.end());
  std::vector<std::string> expected = {A("Обновление продукта \"Оболочка Zarvik:Solvane\"...OK"),
                                       A("Обновление продукта \"Тесты по пунктуации\"...OK"),
                                       A("Обновление продукта \"Тесты по орфографии\"...OK"),
                                       A("Завершение обновления оболочки Zarvik:Solvane...OK")};
  EXPECT_EQ(tail, expected);
  EXPECT_EQ(ui.boxes, std::vector<TBoxId>{TBoxId::UpdateFinished});
  EXPECT_EQ(session.ExitStatus(), kExitUpdated);
  EXPECT_EQ(ui.states, (std::vector<TSessionState>{TSessionState::Checking, TSessionState::Ready,
                                                   TSessionState::Running, TSessionState::Done}));
}

TEST_F(UpdateSessionTest, AFailingProductShowsItsErrorAndTheNextOneRuns) {
  Install("ege");
  Install("px2002");
  Package("ege");
  Package("px2002");
  TUpdateSession session(
      ui, Options({&CountingType("px2002"), &BrokenType(), &CountingType("px2002")}));
  session.FormShow();
  session.RunUpdates();
  std::vector<std::string> tail(ui.memo.end() - 3, ui.memo.end());
  std::vector<std::string> expected = {
      A("Обновление продукта \"Counting px2002\"...OK"),
      A("Обновление продукта \"Сломанный\"...ОШИБКА: ESlvUpdater (disk on fire)"),
      A("Обновление продукта \"Counting px2002\"...OK")};
  EXPECT_EQ(tail, expected);
  EXPECT_EQ(TCountingUpdater::runs, 2);
  EXPECT_EQ(session.ExitStatus(), kExitFailed);
  EXPECT_EQ(session.State(), TSessionState::Done);
}

TEST_F(UpdateSessionTest, RunsOncePerStartAndNeverWhileRunning) {
  Install("ege");
  Package("ege");
  TUpdateSession session(ui, Options({&CountingType("ege"), &CountingType("ege")}));
  session.RunUpdates();  // not before the start-up made it ready
  EXPECT_EQ(TCountingUpdater::runs, 0);
  session.FormShow();

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

TEST_F(UpdateSessionTest, AWindowClosedBeforeTheRunCountsAsCancelled) {
  Install("ege");
  Package("ege");
  TUpdateSession session(ui, Options());
  session.FormShow();
  EXPECT_TRUE(session.CanClose());
  EXPECT_EQ(session.ExitStatus(), kExitCancelled);
}

}  // namespace
}  // namespace slv2
