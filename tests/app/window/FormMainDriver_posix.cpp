// The Qt window on Qt's offscreen platform, one application object for the
// whole test program.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "FormMainDriver.h"
#include "app/qt/FormMain.h"

namespace slv2::test {
namespace {

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

QWidget& Form(const std::unique_ptr<TUpdateUi>& form) {
  return static_cast<TFormMain&>(*form);
}

}  // namespace

const char* const kMemoLineBreak = "\n";
const char* const kBoxLineBreak = "\n";

TWindowDriver::TWindowDriver(TSessionOptions options)
    : FForm(std::make_unique<TFormMain>(std::move(options))) {}

void TWindowDriver::Show() {
  Form(FForm).show();
}

TSeenControl TWindowDriver::See(TControl control) const {
  const char* names[] = {"", "lblLog", "meLog", "btnRun", "btnClose"};
  QWidget& form = Form(FForm);
  QWidget* child = control == TControl::Form
                       ? &form
                       : form.findChild<QWidget*>(names[static_cast<int>(control)]);
  const char* property[] = {"windowTitle", "text", "plainText", "text", "text"};
  QString text = child->property(property[static_cast<int>(control)]).toString();
  QRect r(child->mapTo(&form, QPoint(0, 0)), child->size());
  return {text.toStdString(), child->isVisible(),
          child->isEnabled(), form.focusWidget() == child,
          r.left(),           r.top(),
          r.right() + 1,      r.bottom() + 1};
}

void TWindowDriver::Grow(int width, int height) {
  QSize size = Form(FForm).size() + QSize(width, height);
  Form(FForm).resize(size);
  // The offscreen platform resizes from the event loop.
  EXPECT_TRUE(QTest::qWaitFor([&] { return Form(FForm).size() == size; }, 2000));
}

void TWindowDriver::Press(TKey key) {
  if (key == TKey::Enter) QTest::keyClick(Form(FForm).findChild<QWidget*>("meLog"), Qt::Key_Return);
  if (key == TKey::Esc) QTest::keyClick(&Form(FForm), Qt::Key_Escape);
  if (key == TKey::FrameClose) Form(FForm).close();
}

TSeenBox TWindowDriver::Answer(TBoxAnswer answer, const std::function<void()>& action) {
  TSeenBox seen;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    seen = {box->windowTitle().toStdString(), box->text().toStdString()};
    timer.stop();
    box->button(answer == TBoxAnswer::Ok ? QMessageBox::Ok : QMessageBox::Cancel)->click();
  });
  timer.start(5);
  action();
  return seen;
}

}  // namespace slv2::test
