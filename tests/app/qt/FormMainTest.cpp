// The main window on Qt's offscreen platform: its design, its boxes, the
// memo after a run, the keyboard and the close query. Boxes
// are answered by a timer that finds the modal box and presses its button.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>

#include "FamilyMachine.h"
#include "app/ExitStatus.h"
#include "app/qt/FormMain.h"
#include "sys/Cp1251.h"

namespace slv2 {
namespace {

// One application object for the whole test program, on the offscreen
// platform.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 1);
    application_ = std::make_unique<QApplication>(argc_, argv_);
    // Each test closes its window; the next one's boxes need a live loop.
    QApplication::setQuitOnLastWindowClosed(false);
  }
  void TearDown() override { application_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "window_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> application_;
};
::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

QString U(const char* utf8) {
  return QString::fromUtf8(utf8);
}

// What a box showed.
struct SeenBox {
  QString name, title, text;
  QMessageBox::Icon icon;
  QMessageBox::StandardButtons buttons;
};

// Presses OK, or the scripted answers on boxes with Cancel, on every modal
// box that appears while it exists.
class BoxAnswerer {
 public:
  std::vector<SeenBox> seen;
  std::deque<QMessageBox::StandardButton> answers;  // for OK/Cancel boxes

  BoxAnswerer() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }

 private:
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    seen.push_back(
        {box->objectName(), box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    if (box->standardButtons() & QMessageBox::Cancel && !answers.empty()) {
      answer = answers.front();
      answers.pop_front();
    }
    box->button(answer)->click();
  }
  QTimer timer_;
};

// An updater that runs a test's hook in its run.
class THookUpdater : public TSlv2Updater {
 public:
  using TSlv2Updater::TSlv2Updater;
  static inline std::function<void()> hook;
  static inline int runs = 0;
  void BeforeExecute() override {
    ++runs;
    if (hook) hook();
  }
};

const TSlv2UpdaterClass& HookType() {
  static const TSlv2UpdaterClass type("THookUpdater", "ege", test::A("Тесты с крючком"), "", false,
                                      MakeUpdater<THookUpdater>);
  return type;
}

class FormMainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    THookUpdater::hook = nullptr;
    THookUpdater::runs = 0;
  }
  // Registers the product with its update storage.
  void Install(const std::string& id) {
    machine.Install(id);
    machine.Pack(id);
  }

  TSessionOptions Options() {
    TSessionOptions options = DefaultSessionOptions(package);
    options.isAdministrator = [this] { return administrator; };
    options.isShellRunning = [] { return false; };
    return options;
  }

  // Shows the window and lets its start-up run from the message loop, and
  // what it queued after.
  void Show(TFormMain& window) {
    window.show();
    // The start-up lists the products or ends the program.
    auto* memo = Child<QPlainTextEdit>(window, "meLog");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !window.isVisible() || !memo->toPlainText().isEmpty(); }, 5000));
    QCoreApplication::processEvents();
  }

  template <class T>
  static T* Child(TFormMain& window, const char* name) {
    T* child = window.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }

  test::FamilyMachine machine;
  const std::string package = machine.package;
  bool administrator = true;
  BoxAnswerer boxes;
};

// The window's own part: captions, the read-only memo, the focus order, the
// buttons kept to the right edge.
TEST_F(FormMainTest, CaptionsAndLayout) {
  Install("main");  // so that the window stays open
  TFormMain window(Options());
  Show(window);
  EXPECT_EQ(window.windowTitle(), U("Обновление программ Zarvik:Solvane 2.х"));
  EXPECT_EQ(Child<QLabel>(window, "lblLog")->text(), U("Протокол работы программы:"));
  auto* memo = Child<QPlainTextEdit>(window, "meLog");
  EXPECT_TRUE(memo->isReadOnly());
  auto* run = Child<QPushButton>(window, "btnRun");
  auto* close = Child<QPushButton>(window, "btnClose");
  EXPECT_EQ(run->text(), U("&Выполнить обновление"));
  EXPECT_EQ(close->text(), U("&Закрыть"));
  EXPECT_EQ(run->nextInFocusChain(), close);
  const int margin = window.width() - close->geometry().right(), height = memo->height();
  window.resize(window.width() + 100, window.height() + 50);
  EXPECT_TRUE(QTest::qWaitFor([&] { return memo->height() == height + 50; }, 2000));
  EXPECT_EQ(window.width() - close->geometry().right(), margin);
  EXPECT_LT(run->geometry().right(), close->geometry().left());
}

// Every box with its icon, caption, text and buttons, the answer told apart;
// a start-up that ends the program closes the window.
TEST_F(FormMainTest, BoxesAndTheEndOfTheProgram) {
  administrator = false;
  TFormMain window(Options());
  Show(window);
  EXPECT_FALSE(window.isVisible());
  for (TBoxId id : {TBoxId::AdminRights, TBoxId::UpdateFinished, TBoxId::NothingToUpdate,
                    TBoxId::ShellRunning, TBoxId::AlreadyRunning}) {
    SCOPED_TRACE(static_cast<int>(id));
    const TMessageBox& box = MessageBoxOf(id);
    boxes.seen.clear();
    boxes.answers = {QMessageBox::Cancel};
    EXPECT_EQ(window.ShowMessageBox(box), box.hasCancel ? TBoxAnswer::Cancel : TBoxAnswer::Ok);
    ASSERT_EQ(boxes.seen.size(), 1u);
    const SeenBox& seen = boxes.seen[0];
    EXPECT_EQ(seen.name, QString("box%1").arg(static_cast<int>(id)));
    bool warning = box.kind == TBoxKind::Warning;
    EXPECT_EQ(seen.title, warning ? "Warning" : "Information");
    EXPECT_EQ(seen.icon, warning ? QMessageBox::Warning : QMessageBox::Information);
    EXPECT_EQ(seen.buttons, box.hasCancel ? QMessageBox::Ok | QMessageBox::Cancel
                                          : QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(seen.text, QString::fromStdString(AnsiToUtf8(box.text)).replace('\r', '\n'));
  }
}

// Enter in the memo runs the update; during the run neither the close
// button, Esc nor the frame's close end the program; after it only closing
// is left, and Esc closes.
TEST_F(FormMainTest, ARunFillsTheMemoAndLeavesOnlyClosing) {
  Install("ege");
  TSessionOptions options = Options();
  options.catalogue = {&HookType()};
  TFormMain window(std::move(options));
  Show(window);
  auto* run = Child<QPushButton>(window, "btnRun");
  auto* close = Child<QPushButton>(window, "btnClose");
  std::vector<bool> visible;
  THookUpdater::hook = [&] {
    window.close();
    QTest::keyClick(&window, Qt::Key_Escape);
    visible.push_back(window.isVisible());
    visible.push_back(close->isEnabled());
  };
  auto* memo = Child<QPlainTextEdit>(window, "meLog");
  memo->setFocus();
  QTest::keyClick(memo, Qt::Key_Return);
  EXPECT_EQ(THookUpdater::runs, 1);
  EXPECT_EQ(visible, (std::vector<bool>{true, false}));
  EXPECT_EQ(memo->toPlainText(), U("\nУстановленные продукты, подлежащие обновлению:\n"
                                   "  Тесты с крючком\n\n"
                                   "Обновление продукта \"Тесты с крючком\"...OK"));
  ASSERT_EQ(boxes.seen.size(), 1u);
  EXPECT_EQ(boxes.seen[0].name, "box65185");
  EXPECT_FALSE(run->isEnabled());
  EXPECT_TRUE(close->isEnabled());
  EXPECT_EQ(window.focusWidget(), close);
  EXPECT_EQ(window.Session().ExitStatus(), kExitUpdated);
  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace slv2
