// The Windows window, every text read back through the wide calls
// (scripts/test-windows runs this program under a Russian and an English
// ANSI code page; a box's text is the string table's), created with Wine's
// null display driver under Wine.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "FormMainDriver.h"
#include "app/win32/FormMain_win32.h"
#include "sys/Cp1251.h"

namespace slv2::test {
namespace {

std::string WindowText(HWND window) {
  wchar_t buffer[4096];
  int n = ::GetWindowTextW(window, buffer, 4096);
  return Utf16ToUtf8(std::u16string(buffer, buffer + n));
}

TFormMain& Form(const std::unique_ptr<TUpdateUi>& form) {
  return static_cast<TFormMain&>(*form);
}

}  // namespace

const char* const kMemoLineBreak = "\r\n";
const char* const kBoxLineBreak = "\r";

TWindowDriver::TWindowDriver(TSessionOptions options)
    : FForm(std::make_unique<TFormMain>(std::move(options), false)) {}

void TWindowDriver::Show() {
  Form(FForm).Show();
}

TSeenControl TWindowDriver::See(TControl control) const {
  const int ids[] = {0, kLblLog, kMeLog, kBtnRun, kBtnClose};
  HWND form = Form(FForm).Handle();
  HWND child =
      control == TControl::Form ? form : ::GetDlgItem(form, ids[static_cast<int>(control)]);
  RECT r{};
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
  return {WindowText(child),
          ::IsWindowVisible(child) != FALSE,
          ::IsWindowEnabled(child) != FALSE,
          ::GetFocus() == child,
          r.left,
          r.top,
          r.right,
          r.bottom};
}

void TWindowDriver::Grow(int width, int height) {
  HWND form = Form(FForm).Handle();
  RECT r{};
  ::GetWindowRect(form, &r);
  ::SetWindowPos(form, nullptr, 0, 0, r.right - r.left + width, r.bottom - r.top + height,
                 SWP_NOMOVE | SWP_NOZORDER);
}

// Enter and Esc reach the window as the dialog manager sends them.
void TWindowDriver::Press(TKey key) {
  const UINT message[] = {WM_COMMAND, WM_COMMAND, WM_CLOSE};
  const WPARAM command[] = {IDOK, IDCANCEL, 0};
  int k = static_cast<int>(key);
  ::SendMessageW(Form(FForm).Handle(), message[k], command[k], 0);
}

// A thread of its own waits for the box (a dialog of the system's class
// whose text is the control 0xFFFF) and presses the button, as a user would.
TSeenBox TWindowDriver::Answer(TBoxAnswer answer, const std::function<void()>& action) {
  TSeenBox seen;
  std::thread user([&] {
    HWND box = nullptr;
    for (int i = 0; i < 1000 && !(box = ::FindWindowW(L"#32770", nullptr)); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    seen = {WindowText(box), WindowText(::GetDlgItem(box, 0xFFFF))};
    ::PostMessageW(box, WM_COMMAND, answer == TBoxAnswer::Ok ? IDOK : IDCANCEL, 0);
  });
  action();
  user.join();
  return seen;
}

namespace {

// scripts/test-windows names the ANSI code page each run is meant to have.
TEST(FormMainWin32Test, TheRunHasTheAnsiCodePageItWasStartedFor) {
  const char* wanted = std::getenv("SLV2_ANSI_CODE_PAGE");
  if (!wanted) GTEST_SKIP() << "SLV2_ANSI_CODE_PAGE is not set";
  EXPECT_EQ(::GetACP(), static_cast<UINT>(std::atoi(wanted)));
}

}  // namespace
}  // namespace slv2::test
