// The Windows main window: its controls, their captions and layout,
// the memo, the states and the close query, its message boxes and the texts
// of its string table, every text read back as UTF-16 (scripts/test-windows
// runs this program under a Russian and an English ANSI code page). The
// start-up and the run behind it are tested platform-free
// (UpdateSessionTest); the window is created hidden, with Wine's null
// display driver under Wine.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "app/MainWindowDesign.h"
#include "app/MessageBoxes.h"
#include "app/win32/FormMain_win32.h"
#include "sys/Cp1251.h"

namespace slv2 {
namespace {

// Options that need nothing of the machine: no catalogue and no checks run
// as long as the window's start-up sequence is not started.
TSessionOptions NoProducts() {
  TSessionOptions options;
  options.isAdministrator = [] { return true; };
  options.isShellRunning = [] { return false; };
  return options;
}

// A window's text as the system holds it.
std::u16string Text(HWND window) {
  wchar_t buffer[4096];
  int n = ::GetWindowTextW(window, buffer, 4096);
  return std::u16string(buffer, buffer + n);
}

std::u16string ClassOf(HWND window) {
  wchar_t buffer[64];
  int n = ::GetClassNameW(window, buffer, 64);
  return std::u16string(buffer, buffer + n);
}

// What a message box showed: its caption and the texts of its static
// controls (the icon's is empty).
struct TBoxSeen {
  std::u16string caption;
  std::vector<std::u16string> texts;
};

BOOL CALLBACK CollectStaticText(HWND child, LPARAM seen) {
  std::u16string text = Text(child);
  if (ClassOf(child) == u"Static" && !text.empty())
    reinterpret_cast<TBoxSeen*>(seen)->texts.push_back(text);
  return TRUE;
}

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  if (ClassOf(window) != u"#32770" || !::IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// Waits on a thread of its own for the next message box of `thread`, reads
// it and presses `button`, as a user would.
class TBoxAnswerer {
 public:
  TBoxAnswerer(DWORD thread, int button)
      : FWatcher([this, thread, button] {
          for (int i = 0; i < 1000; ++i) {
            HWND box = nullptr;
            ::EnumThreadWindows(thread, FindDialog, reinterpret_cast<LPARAM>(&box));
            if (box) {
              FSeen.caption = Text(box);
              ::EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&FSeen));
              ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                             reinterpret_cast<LPARAM>(::GetDlgItem(box, button)));
              return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          }
        }) {}
  // What the box showed, once it has been answered.
  const TBoxSeen& Seen() {
    if (FWatcher.joinable()) FWatcher.join();
    return FSeen;
  }
  ~TBoxAnswerer() {
    if (FWatcher.joinable()) FWatcher.join();
  }

 private:
  TBoxSeen FSeen;
  std::thread FWatcher;
};

// A control's rectangle in the window's client coordinates.
RECT Place(HWND form, HWND control) {
  RECT r{};
  ::GetWindowRect(control, &r);
  ::MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

class FormMainTest : public ::testing::Test {
 protected:
  HWND Control(int id) const { return ::GetDlgItem(form.Handle(), id); }
  void SetClientSize(int width, int height) {
    RECT r = {0, 0, width, height};
    ::AdjustWindowRectEx(&r, static_cast<DWORD>(::GetWindowLongPtrA(form.Handle(), GWL_STYLE)),
                         FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrA(form.Handle(), GWL_EXSTYLE)));
    ::SetWindowPos(form.Handle(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER);
  }

  TFormMain form{NoProducts(), false};
};

TEST_F(FormMainTest, ControlsCarryTheirCaptionsAndFollowTheRightEdge) {
  ASSERT_NE(form.Handle(), nullptr);
  EXPECT_EQ(Text(form.Handle()), u"Обновление программ Zarvik:Solvane 2.х");
  EXPECT_EQ(Text(Control(kLblLog)), u"Протокол работы программы:");
  EXPECT_EQ(Text(Control(kBtnRun)), u"&Выполнить обновление");
  EXPECT_EQ(Text(Control(kBtnClose)), u"&Закрыть");
  EXPECT_EQ(Text(Control(kMeLog)), u"");

  // The memo: read-only, a vertical scroll bar only, Enter is not a line
  // break; Enter and Esc go to the two buttons by their identifiers.
  LONG_PTR memo = ::GetWindowLongPtrA(Control(kMeLog), GWL_STYLE);
  EXPECT_TRUE(memo & ES_READONLY);
  EXPECT_TRUE(memo & WS_VSCROLL);
  EXPECT_FALSE(memo & WS_HSCROLL);
  EXPECT_FALSE(memo & ES_WANTRETURN);
  EXPECT_EQ(::GetWindowLongPtrA(Control(kBtnRun), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  for (int id : {kLblLog, kMeLog, kBtnRun, kBtnClose}) {
    auto font = reinterpret_cast<HFONT>(::SendMessageA(Control(id), WM_GETFONT, 0, 0));
    LOGFONTA face{};
    ASSERT_NE(::GetObjectA(font, sizeof face, &face), 0) << id;
    EXPECT_EQ(face.lfCharSet, RUSSIAN_CHARSET);
  }

  // Grown, the buttons keep to the right edge and the memo takes the rest.
  RECT client{};
  ::GetClientRect(form.Handle(), &client);
  RECT run = Place(form.Handle(), Control(kBtnRun)),
       close = Place(form.Handle(), Control(kBtnClose));
  RECT log = Place(form.Handle(), Control(kMeLog));
  SetClientSize(client.right + 100, client.bottom + 50);
  EXPECT_EQ(Place(form.Handle(), Control(kBtnRun)).left, run.left + 100);
  EXPECT_EQ(Place(form.Handle(), Control(kBtnRun)).top, run.top + 50);
  EXPECT_EQ(Place(form.Handle(), Control(kBtnClose)).left, close.left + 100);
  EXPECT_EQ(Place(form.Handle(), Control(kMeLog)).bottom, log.bottom + 50);
}

TEST_F(FormMainTest, MemoLinesAreSeparatedAndTheLastOneGrows) {
  const std::string line = test::A("Обновление продукта \"Тесты по пунктуации\"...");
  form.AddLine("");
  form.AddLine(line);
  form.AppendToLastLine("OK");
  form.AddLine("second");
  EXPECT_EQ(Text(Control(kMeLog)),
            u"\r\nОбновление продукта \"Тесты по пунктуации\"...OK\r\nsecond");
  EXPECT_EQ(::SendMessageA(Control(kMeLog), EM_GETLINECOUNT, 0, 0), 3);
}

TEST_F(FormMainTest, StatesEnableTheButtonsAndTheCloseQueryFollowsTheSession) {
  HWND run = Control(kBtnRun), close = Control(kBtnClose);
  form.ShowState(TSessionState::Checking);
  EXPECT_FALSE(::IsWindowEnabled(run));
  EXPECT_FALSE(::IsWindowEnabled(close));
  form.ShowState(TSessionState::Ready);
  EXPECT_TRUE(::IsWindowEnabled(run));
  EXPECT_TRUE(::IsWindowEnabled(close));
  form.ShowState(TSessionState::Running);
  EXPECT_FALSE(::IsWindowEnabled(run));
  EXPECT_FALSE(::IsWindowEnabled(close));
  // Esc (the close button's command) does nothing while the button is
  // disabled.
  ::SendMessageA(form.Handle(), WM_COMMAND, IDCANCEL, 0);
  EXPECT_NE(form.Handle(), nullptr);
  form.ShowState(TSessionState::Done);
  EXPECT_FALSE(::IsWindowEnabled(run));
  EXPECT_TRUE(::IsWindowEnabled(close));

  // The session has not started a run: the frame's close goes through.
  EXPECT_TRUE(form.FormCloseQuery());
  ::SendMessageA(form.Handle(), WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(form.Handle(), nullptr);
}

TEST_F(FormMainTest, BoxesShowTheirTextAndCaptionAndReturnTheButtonPressed) {
  DWORD thread = ::GetCurrentThreadId();
  for (TBoxId id : {TBoxId::AdminRights, TBoxId::UpdateFinished, TBoxId::NothingToUpdate,
                    TBoxId::ShellRunning, TBoxId::AlreadyRunning}) {
    const TMessageBox& box = MessageBoxOf(id);
    // Cancel where the box has it, to see that the answer is told apart.
    TBoxAnswerer user(thread, box.hasCancel ? IDCANCEL : IDOK);
    TBoxAnswer answer = form.ShowMessageBox(box);
    const TBoxSeen& seen = user.Seen();
    EXPECT_EQ(answer, box.hasCancel ? TBoxAnswer::Cancel : TBoxAnswer::Ok) << static_cast<int>(id);
    EXPECT_EQ(seen.caption, box.kind == TBoxKind::Warning ? u"Warning" : u"Information");
    EXPECT_EQ(seen.texts, std::vector<std::u16string>{AnsiToUtf16(box.text)})
        << static_cast<int>(id);
  }

  TBoxAnswerer user(thread, IDOK);
  form.ShowError(test::A("Ошибка: файл \"Уроки.txt\" не найден"));
  EXPECT_EQ(user.Seen().caption, u"Обновление программ Zarvik:Solvane 2.х");
  EXPECT_EQ(user.Seen().texts,
            std::vector<std::u16string>{u"Ошибка: файл \"Уроки.txt\" не найден"});
}

// scripts/test-windows names the ANSI code page each run is meant to have.
TEST(FormMainCodePageTest, TheRunHasTheAnsiCodePageItWasStartedFor) {
  const char* wanted = std::getenv("SLV2_ANSI_CODE_PAGE");
  if (!wanted) GTEST_SKIP() << "SLV2_ANSI_CODE_PAGE is not set";
  EXPECT_EQ(::GetACP(), static_cast<UINT>(std::atoi(wanted)));
}

TEST(FormMainStringsTest, TheStringTableHoldsTheTextsOfTheMessageBoxes) {
  for (TBoxId id : {TBoxId::AdminRights, TBoxId::UpdateFinished, TBoxId::NothingToUpdate,
                    TBoxId::ShellRunning, TBoxId::AlreadyRunning}) {
    const wchar_t* text = nullptr;
    // Length and text of the resource itself, whatever the ANSI code page.
    int n = ::LoadStringW(::GetModuleHandleA(nullptr), static_cast<UINT>(id),
                          reinterpret_cast<LPWSTR>(&text), 0);
    ASSERT_GT(n, 0) << static_cast<int>(id);
    std::u16string resource(reinterpret_cast<const char16_t*>(text), static_cast<size_t>(n));
    EXPECT_EQ(resource, AnsiToUtf16(MessageBoxOf(id).text)) << static_cast<int>(id);
  }
}

}  // namespace
}  // namespace slv2
