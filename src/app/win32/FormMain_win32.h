// The main window on Windows (plain Win32 controls): the protocol memo above
// two buttons, laid out and captioned as MainWindowDesign.h says. It runs the
// update session (app/UpdateSession.h) when it is first shown; the run button
// (or Enter) runs the update once; the close button, Esc or the frame close
// it except during the run. Activated again (after one of its boxes, say),
// the window gives the focus back to the control that had it. The controls
// are children of the window, found by their identifiers; the panels of the
// design are regions of the client area: pnlLbl on top, pnlBtns at the
// bottom, pnlMemo between them. Texts reach the system through the wide
// calls, converted from program text, so the window and its boxes read the
// same under any ANSI code page.
#pragma once

#include <initializer_list>
#include <memory>

#include "app/UpdateSession.h"
#include "sys/WindowsApi.h"

namespace slv2 {

// Control identifiers: Enter sends IDOK and Esc IDCANCEL to the window, so
// they name the default and the cancel button.
enum TFormMainControl : int {
  kLblLog = 100,
  kMeLog = 101,
  kBtnRun = IDOK,
  kBtnClose = IDCANCEL,
};

class TFormMain : public TUpdateUi {
 public:
  // Creates the window, hidden. With `quitOnClose` closing it ends the
  // thread's message loop (the program's main window).
  TFormMain(TSessionOptions options, bool quitOnClose);
  ~TFormMain() override;
  TFormMain(const TFormMain&) = delete;
  TFormMain& operator=(const TFormMain&) = delete;

  HWND Handle() const { return FHandle; }
  const TUpdateSession& Session() const { return *FSession; }
  // Shows the window; the start-up sequence follows from the message loop.
  void Show();
  // Whether a message belongs to the window's keyboard handling (Tab, Enter,
  // Esc, access keys) and has been handled.
  bool TranslateKeys(MSG& message);

  // The handlers of the window's events.
  void FormShow();
  void btnRunClick();
  void btnCloseClick();
  bool FormCloseQuery() const;

  // TUpdateUi.
  void AddLine(const std::string& text) override;
  void AppendToLastLine(const std::string& text) override;
  TBoxAnswer ShowMessageBox(const TMessageBox& box) override;
  void ShowError(const std::string& message) override;
  void ProcessMessages() override;
  void ShowState(TSessionState state) override;
  void Terminate() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void Layout(int width, int height);
  void AppendText(const std::string& text);
  static void EnableControls(std::initializer_list<HWND> controls, bool enabled);
  void Focus(HWND control);

  std::unique_ptr<TUpdateSession> FSession;
  bool FQuitOnClose;
  HFONT FFont = nullptr;
  HWND FHandle = nullptr;
  HWND lblLog = nullptr;
  HWND meLog = nullptr;
  HWND btnRun = nullptr;
  HWND btnClose = nullptr;
  // The control that gets the focus whenever the window does: the state's
  // default, or the one that had it when the window was last deactivated.
  HWND FFocused = nullptr;
  int FLineCount = 0;
  bool FShown = false;
};

}  // namespace slv2
