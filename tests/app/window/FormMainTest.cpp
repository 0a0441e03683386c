// The main window of either toolkit, through its driver: what the shown
// window holds, its states and keys around a run, its boxes and the end of
// the program. What the session behind it decides is UpdateSessionTest's.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "FamilyMachine.h"
#include "FormMainDriver.h"
#include "sys/Cp1251.h"

namespace slv2::test {
namespace {

// The text with each line break as the toolkit keeps it.
std::string Breaks(const std::string& text, const char* lineBreak) {
  std::string broken;
  for (char c : text)
    broken += c == '\r' || c == '\n' ? std::string(lineBreak) : std::string(1, c);
  return broken;
}

// An updater that runs a test's hook in its run.
class THookUpdater : public TSlv2Updater {
 public:
  using TSlv2Updater::TSlv2Updater;
  static inline std::function<void()> hook;
  void BeforeExecute() override { hook(); }
};

class FormMainTest : public ::testing::Test {
 protected:
  TSessionOptions Options(bool administrator) {
    TSessionOptions options = DefaultSessionOptions(machine.package);
    options.catalogue = {&hookType};
    options.isAdministrator = [administrator] { return administrator; };
    options.isShellRunning = [] { return false; };
    return options;
  }

  // Shows the window and lets its start-up run from the message loop.
  static void ShowAndStart(TWindowDriver& window) {
    window.Show();
    for (int i = 0;
         i < 500 && window.See(TControl::Form).visible && window.See(TControl::Memo).text.empty();
         ++i) {
      window.Ui().ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  FamilyMachine machine;
  const TSlv2UpdaterClass hookType{"THookUpdater",           "ege", A("Тесты с крючком"), "", false,
                                   MakeUpdater<THookUpdater>};
};

// Captions and layout of the shown window; Enter typed in the memo runs the
// update; during the run neither the frame's close nor Esc end the program;
// after it the memo holds the run, only closing is left, and Esc closes.
TEST_F(FormMainTest, ARunFromShowToClose) {
  machine.Install("ege");
  machine.Pack("ege");
  TWindowDriver window(Options(true));
  ShowAndStart(window);
  const struct {
    TControl control;
    const char* text;
  } captions[] = {{TControl::Form, "Обновление программ Zarvik:Solvane 2.х"},
                  {TControl::Label, "Протокол работы программы:"},
                  {TControl::Run, "&Выполнить обновление"},
                  {TControl::Close, "&Закрыть"}};
  for (const auto& caption : captions)
    EXPECT_EQ(window.See(caption.control).text, caption.text);
  EXPECT_TRUE(window.See(TControl::Run).focused);

  // Grown, the buttons keep to the right edge and the memo takes the rest.
  TSeenControl run = window.See(TControl::Run), close = window.See(TControl::Close),
               memo = window.See(TControl::Memo);
  window.Grow(100, 50);
  EXPECT_EQ(window.See(TControl::Run).left, run.left + 100);
  EXPECT_EQ(window.See(TControl::Run).top, run.top + 50);
  EXPECT_EQ(window.See(TControl::Close).left, close.left + 100);
  EXPECT_EQ(window.See(TControl::Memo).right, memo.right + 100);
  EXPECT_EQ(window.See(TControl::Memo).bottom, memo.bottom + 50);

  std::vector<bool> during;
  THookUpdater::hook = [&] {
    window.Press(TKey::FrameClose);
    window.Press(TKey::Esc);
    during = {window.See(TControl::Form).visible, window.See(TControl::Run).enabled,
              window.See(TControl::Close).enabled};
  };
  window.Answer(TBoxAnswer::Ok, [&] { window.Press(TKey::Enter); });
  THookUpdater::hook = nullptr;
  EXPECT_EQ(during, (std::vector<bool>{true, false, false}));
  EXPECT_EQ(window.See(TControl::Memo).text,
            Breaks("\nУстановленные продукты, подлежащие обновлению:\n  Тесты с крючком\n\n"
                   "Обновление продукта \"Тесты с крючком\"...OK",
                   kMemoLineBreak));
  EXPECT_FALSE(window.See(TControl::Run).enabled);
  EXPECT_TRUE(window.See(TControl::Close).enabled);
  // The close button the run's end focused has the focus back once its box
  // is gone.
  EXPECT_TRUE(window.See(TControl::Close).focused);
  window.Press(TKey::Esc);
  EXPECT_FALSE(window.See(TControl::Form).visible);
}

// A start-up that ends the program shows its box and closes the window;
// every box shows its caption and text and tells the answer apart; an error
// that ended the start-up is shown under the program's title.
TEST_F(FormMainTest, BoxesAndTheEndOfTheProgram) {
  TWindowDriver window(Options(false));
  window.Answer(TBoxAnswer::Ok, [&] { ShowAndStart(window); });
  EXPECT_FALSE(window.See(TControl::Form).visible);
  for (TBoxId id : {TBoxId::AdminRights, TBoxId::UpdateFinished, TBoxId::NothingToUpdate,
                    TBoxId::ShellRunning, TBoxId::AlreadyRunning}) {
    const TMessageBox& box = MessageBoxOf(id);
    // Cancel where the box has it, to see that the answer is told apart.
    TBoxAnswer pressed = box.hasCancel ? TBoxAnswer::Cancel : TBoxAnswer::Ok, answer{};
    TSeenBox seen = window.Answer(pressed, [&] { answer = window.Ui().ShowMessageBox(box); });
    EXPECT_EQ(answer, pressed) << static_cast<int>(id);
    EXPECT_EQ(seen.caption, box.kind == TBoxKind::Warning ? "Warning" : "Information");
    EXPECT_EQ(seen.text, Breaks(AnsiToUtf8(box.text), kBoxLineBreak)) << static_cast<int>(id);
  }
  const std::string error = "Ошибка: файл \"Уроки.txt\" не найден";
  TSeenBox seen = window.Answer(TBoxAnswer::Ok, [&] { window.Ui().ShowError(A(error)); });
  EXPECT_EQ(seen.caption, "Обновление программ Zarvik:Solvane 2.х");
  EXPECT_EQ(seen.text, error);
}

}  // namespace
}  // namespace slv2::test
