// The start-up sequence and the run against real registries and real update
// storages, through a scripted user interface that records what it is asked
// and answers the boxes from a script.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>

#include "FamilyMachine.h"
#include "app/ExitStatus.h"
#include "app/UpdateSession.h"
#include "sys/Cp1251.h"

namespace slv2 {
namespace {

class ScriptedUi : public TUpdateUi {
 public:
  std::vector<std::string> memo;
  std::vector<TBoxId> boxes;
  std::deque<TBoxAnswer> answers;  // for boxes with Cancel; empty: Cancel
  std::vector<std::string> errors;
  std::vector<TSessionState> states;
  int terminated = 0;
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
    if (onProcessMessages) onProcessMessages();
  }
  void ShowState(TSessionState state) override { states.push_back(state); }
  void Terminate() override { ++terminated; }
};

class UpdateSessionTest : public ::testing::Test {
 protected:
  TSessionOptions Options() {
    TSessionOptions options = DefaultSessionOptions(package);
    options.isAdministrator = [] { return true; };
    options.isShellRunning = [this] { return shellChecks-- > 0; };
    return options;
  }

  test::FamilyMachine machine;
  const test::TempDir& dir = machine.dir;
  const std::string package = machine.package, shell = machine.shell;
  int shellChecks = 0;  // how many checks still find the shell's window
  ScriptedUi ui;
};

// The start-up's own ways to end (its exit statuses end to end are
// MainTest's), and the one where it waits for the run.
TEST_F(UpdateSessionTest, StartUpOutcomes) {
  using B = TBoxId;
  struct Case {
    const char* what;
    int shellChecks, oks;  // OKs before Cancel
    std::string database;  // SLV2_REGISTRY; "": the test's
    std::vector<TBoxId> boxes;
    std::string error;  // part of the error shown, else of the protocol's first line
    int status;
    bool ready;                         // waits for the run instead of ending the program
    const char* shellFolder = nullptr;  // nullptr: the machine's
  };
  const std::string dbError = "registry database \"" + dir.Path() + "/bad-";
  // clang-format off
  std::vector<Case> cases = {
    {"the shell closes after two OKs", 2, 2, "", {B::ShellRunning, B::ShellRunning}, "", kExitCancelled, true},
    // Every product writes to the shell folder: without a full path to it
    // the product is left out, which is no "nothing to update".
    {"no shell folder", 0, 0, "", {B::NothingToUpdate}, "(The shell folder is unknown)", kExitFailed, false, ""},
    {"a relative shell folder", 0, 0, "", {B::NothingToUpdate}, "(The shell folder \"Solvane\" is not a full path)", kExitFailed, false, "Solvane"},
#ifndef _WIN32
    // On Linux the lock is a file beside the registry database, which is a
    // file of its own: one that does not open or is damaged is an error,
    // never a machine with nothing installed (a file that is no database
    // at all is the registry store's own table).
    {"no lock beside the registry", 0, 0, dir / "blocker/r.db", {}, "Cannot open the lock file \"" + dir / "blocker/r.db.lock", kExitFailed, false},
    {"a folder", 0, 0, dir / "bad-folder", {}, dbError, kExitFailed, false},
    {"a damaged page", 0, 0, dir / "bad-page", {}, dbError, kExitFailed, false},
#endif
  };
  // clang-format on
#ifndef _WIN32
  const std::string good = test::ReadFile(machine.registry.DatabasePath());
  const size_t page =
      (static_cast<unsigned char>(good[16]) << 8) | static_cast<unsigned char>(good[17]);
  test::WriteFile(dir / "blocker", "");
  std::filesystem::create_directories(test::FsPath(dir / "bad-folder"));
  test::WriteFile(dir / "bad-page", std::string(good).replace(page + 8, 64, 64, '\x5A'));
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempRegistry fresh;
    test::InstallShell(test::FamilyLayout::Machine21, c.shellFolder ? c.shellFolder : shell);
    machine.Install("ege");
    std::optional<test::ScopedEnv> database;
    if (!c.database.empty()) database.emplace("SLV2_REGISTRY", c.database);
    machine.Pack("ege");
    ui = ScriptedUi();
    ui.answers.assign(c.oks, TBoxAnswer::Ok);
    shellChecks = c.shellChecks;
    TUpdateSession session(ui, Options());
    session.FormShow();
    EXPECT_EQ(ui.boxes, c.boxes);
    const std::string shown = ui.errors.empty() ? ui.memo.at(0) : ui.errors.at(0);
    EXPECT_NE(shown.find(c.error), std::string::npos) << shown;
    EXPECT_EQ(ui.terminated, c.ready ? 0 : 1);
    EXPECT_EQ(ui.states.back(), c.ready ? TSessionState::Ready : TSessionState::Terminated);
    EXPECT_EQ(session.ExitStatus(), c.status);
  }
}

// The lines shown; an expected one ending in "*" is compared up to there
// (the system's error message follows).
void ExpectLines(const std::vector<std::string>& lines, std::vector<std::string> expected) {
  ASSERT_EQ(lines.size(), expected.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string line = AnsiToUtf8(lines[i]);
    if (!expected[i].empty() && expected[i].back() == '*') {
      expected[i].pop_back();
      line = line.substr(0, expected[i].size());
    }
    EXPECT_EQ(line, expected[i]);
  }
}

// A product whose steps logged errors fails its line and the run, the
// others go on: a file where a folder is gives one error, a folder where a
// file is two.
TEST_F(UpdateSessionTest, ListsInstalledProductsWithAStorageAndRunsThemInOrder) {
  for (const char* id : {"main", "punctuation", "mathematics1", "orthography", "px2002"})
    machine.Install(id);
  // ege has a storage but is not installed; orthography's does not open;
  // both shell types read main.stg.
  for (const char* name : {"punctuation", "main", "ege"})
    machine.Pack(name);
  test::WriteFile(package + "/orthography.stg", "not a compound file");
  for (const char* id : {"mathematics1", "px2002"})
    test::WriteFile(machine.Product(id) + "/dir1/inside.txt", "a file");
  machine.Pack("px2002", {{"files/product/dir1", "x"}});
  machine.Pack("mathematics1", {{"files/product/dir1/inside.txt/a", "y"},
                                {"files/product/dir1/inside.txt/b", "y"}});
  TUpdateSession session(ui, Options());
  ui.onProcessMessages = [&] { session.FormShow(); };  // shown again meanwhile
  session.FormShow();
  ui.onProcessMessages = nullptr;
  std::vector<std::string> expected = {
      "Продукт \"Тесты по орфографии\" не будет обновлён. ОШИБКА: *",
      "",
      "Установленные продукты, подлежащие обновлению:",
      "  Оболочка Zarvik:Solvane",
      "  Тесты по пунктуации",
      "  Математика (часть 1)",
      "  Zarvik:Probix",
      ""};
  ExpectLines(ui.memo, expected);

  session.RunUpdates();
  const std::string failed = "...ОШИБКА: ESlvUpdater (";
  expected.insert(
      expected.end(),
      {"Обновление продукта \"Оболочка Zarvik:Solvane\"...OK",
       "Обновление продукта \"Тесты по пунктуации\"...OK",
       "Обновление продукта \"Математика (часть 1)\"" + failed +
           "2 errors in the detailed log, the first: ProcessFile() failed: ESlvUpdater (Error "
           "creating folder \"*",
       "Обновление продукта \"Zarvik:Probix\"" + failed +
           "1 error in the detailed log: ProcessFile() failed: ESlvUpdater (Error replacing \"" +
           test::Join(machine.Product("px2002"), "dir1") + "\": *",
       "Завершение обновления оболочки Zarvik:Solvane...OK"});
  ExpectLines(ui.memo, expected);
  EXPECT_EQ(ui.boxes, std::vector<TBoxId>{TBoxId::UpdateFinished});
  EXPECT_EQ(ui.states, (std::vector<TSessionState>{TSessionState::Checking, TSessionState::Ready,
                                                   TSessionState::Running, TSessionState::Done}));
  EXPECT_EQ(session.ExitStatus(), kExitFailed);
}

TEST_F(UpdateSessionTest, RunsOncePerStartAndNeverWhileRunning) {
  machine.Install("ege");
  machine.Pack("ege");
  TUpdateSession session(ui, Options());
  session.FormShow();
  // Closed before the run: the user cancelled.
  EXPECT_TRUE(session.CanClose());
  EXPECT_EQ(session.ExitStatus(), kExitCancelled);

  // A second press arrives while the messages are processed during the
  // run, after its line and after its result; a close request then is
  // refused.
  std::vector<bool> closable;
  ui.onProcessMessages = [&] {
    closable.push_back(session.CanClose());
    session.RunUpdates();
  };
  const size_t listed = ui.memo.size();
  session.RunUpdates();
  EXPECT_EQ(ui.memo.size(), listed + 1);  // the product's line, once
  EXPECT_EQ(closable, std::vector<bool>(2, false));
  EXPECT_TRUE(session.CanClose());
  EXPECT_EQ(ui.boxes, std::vector<TBoxId>{TBoxId::UpdateFinished});
}

// What the run cannot leave behind fails it, said once as an error after it
// and never among the protocol's lines: a detailed log that lost lines, and
// a report that cannot be written (a fleet tool would take the run for one
// that did not happen).
TEST_F(UpdateSessionTest, ALostLogOrAnUnwrittenReportFailsTheRun) {
  machine.Install("ege");
  machine.Pack("ege");
  const std::string report = dir / "missing/r.json";
  for (bool log : {true, false}) {
    SCOPED_TRACE(log ? "the log" : "the report");
    ui = ScriptedUi();
    TSessionOptions options = Options();
    if (log)
      options.logFailure = [] { return std::string("Cannot write the log file \"u.log\""); };
    else
      options.reportFile = report;
    TUpdateSession session(ui, std::move(options));
    session.FormShow();
    session.RunUpdates();
    const std::string error = log ? "Cannot write the log file \"u.log\""
                                  : "The report \"" + report + "\" cannot be written";
    ASSERT_EQ(ui.errors.size(), 1u);
    EXPECT_EQ(ui.errors[0].rfind(error, 0), 0u) << ui.errors[0];
    for (const std::string& line : ui.memo)
      EXPECT_EQ(line.find(error), std::string::npos) << line;
    EXPECT_EQ(session.ExitStatus(), kExitFailed);
  }
}

// A run removes the temporary files a killed run left in the folders it
// writes to, and nothing else (which names are the program's is the file
// layer's table).
TEST_F(UpdateSessionTest, TemporaryFilesAKilledRunLeftAreRemovedByTheNextRun) {
  machine.Install("ege");
  machine.Pack("ege", {{"files/product/new.txt", "new"}});
  const std::pair<std::string, bool> files[] = {
      {"Solvane/help/deep/~sv0123.TMP", true},
      {"elsewhere/~sv1A2B.TMP", false},
      {"tmp/~sv77.TMP", true},          // a registry script a killed run left
      {"tmp/theirs/~sv78.TMP", false},  // below it, other programs' folders
  };
  // The system's temporary folder of this test; Windows reads TMP or TEMP.
  test::ScopedEnv tmpdir{"TMPDIR", dir / "tmp"}, tmp{"TMP", dir / "tmp"}, temp{"TEMP", dir / "tmp"};
  // Left by a run an hour ago; one written since the run started stays.
  const auto before = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  for (const auto& [file, left] : files) {
    test::WriteFile(dir / file, "left");
    std::filesystem::last_write_time(test::FsPath(dir / file), before);
  }
  test::WriteFile(dir / "Solvane/~sv5555.TMP", "this run's");
  std::filesystem::last_write_time(
      test::FsPath(dir / "Solvane/~sv5555.TMP"),
      std::filesystem::file_time_type::clock::now() + std::chrono::hours(1));
#ifndef _WIN32
  // A pupil's own file of the program's name is his.
  const bool asRoot = ::geteuid() == 0;
  if (asRoot) {
    test::WriteFile(dir / "Solvane/~sv9999.TMP", "pupil's");
    ASSERT_EQ(::chown(AnsiToUtf8(dir / "Solvane/~sv9999.TMP").c_str(), 65534, 65534), 0);
  }
#endif
  TUpdateSession session(ui, Options());
  session.FormShow();
  session.RunUpdates();
  EXPECT_EQ(session.ExitStatus(), kExitUpdated);
  for (const auto& [file, left] : files)
    EXPECT_EQ(test::PathExists(dir / file), !left) << file;
  EXPECT_TRUE(test::PathExists(dir / "Solvane/~sv5555.TMP"));
#ifndef _WIN32
  EXPECT_EQ(test::PathExists(dir / "Solvane/~sv9999.TMP"), asRoot);
#endif
}

}  // namespace
}  // namespace slv2
