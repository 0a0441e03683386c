#include "app/win32/FormMain_win32.h"

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "app/MainWindowDesign.h"
#include "sys/Cp1251.h"

namespace slv2 {

namespace {

constexpr const wchar_t* kWindowClass = L"TFormMain";
// Posted when the window is first shown: the start-up sequence runs from the
// message loop, with the window already on the screen.
constexpr UINT kFormShowMessage = WM_APP + 1;

constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT;

SIZE OuterSize(int clientWidth, int clientHeight) {
  RECT rect = {0, 0, clientWidth, clientHeight};
  ::AdjustWindowRectEx(&rect, kWindowStyle, FALSE, kWindowExStyle);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

// The window speaks UTF-16 to the system: program text converted here keeps
// every Cyrillic letter whatever the machine's ANSI code page, which the "A"
// calls would convert through.
std::wstring Wide(std::string_view text) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide characters");
  std::u16string wide = AnsiToUtf16(text);
  return std::wstring(wide.begin(), wide.end());
}

void RegisterWindowClass(HINSTANCE instance) {
  WNDCLASSEXW type{};
  if (::GetClassInfoExW(instance, kWindowClass, &type)) return;
  type.cbSize = sizeof type;
  type.lpfnWndProc = ::DefWindowProcW;
  type.hInstance = instance;
  type.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  type.hIcon = ::LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  type.lpszClassName = kWindowClass;
  ::RegisterClassExW(&type);
}

HWND Child(HWND parent, const wchar_t* type, const std::string& text, DWORD style, int id,
           HFONT font) {
  HWND control = ::CreateWindowExW(0, type, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0,
                                   0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

// A box's text from the program's string table (the identifiers are the
// boxes' own), read as the resource holds it; a program built without the
// table shows the same text from MessageBoxes.h.
std::wstring BoxText(const TMessageBox& box) {
  const wchar_t* text = nullptr;
  int n = ::LoadStringW(::GetModuleHandleW(nullptr), static_cast<UINT>(box.id),
                        reinterpret_cast<LPWSTR>(&text), 0);
  return n > 0 ? std::wstring(text, static_cast<size_t>(n)) : Wide(box.text);
}

}  // namespace

TFormMain::TFormMain(TSessionOptions options, bool quitOnClose)
    : FSession(std::make_unique<TUpdateSession>(*this, std::move(options))),
      FQuitOnClose(quitOnClose) {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  RegisterWindowClass(instance);
  FFont = ::CreateFontW(-design::kFontPixelHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                        RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_DONTCARE, Wide(design::kFontFace).c_str());
  SIZE outer = OuterSize(design::kClientWidth, design::kClientHeight);
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  int left = work.left + (work.right - work.left - outer.cx) / 2;
  int top = work.top + (work.bottom - work.top - outer.cy) / 2;
  FHandle = ::CreateWindowExW(kWindowExStyle, kWindowClass,
                              Wide(design::ApplicationTitle()).c_str(), kWindowStyle, left, top,
                              outer.cx, outer.cy, nullptr, nullptr, instance, nullptr);
  if (!FHandle) throw std::runtime_error("the main window cannot be created");
  ::SetWindowLongPtrW(FHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::SetWindowLongPtrW(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
  ::SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
  CreateControls();
  RECT client{};
  ::GetClientRect(FHandle, &client);
  Layout(client.right, client.bottom);
}

TFormMain::~TFormMain() {
  if (FHandle) {
    // Closing from here is no longer the user's: no query, no quit.
    FQuitOnClose = false;
    ::DestroyWindow(FHandle);
  }
  if (FFont) ::DeleteObject(FFont);
}

void TFormMain::CreateControls() {
  lblLog = Child(FHandle, L"STATIC", design::LogLabelCaption(), SS_LEFT, kLblLog, FFont);
  meLog = Child(FHandle, L"EDIT", std::string(),
                WS_TABSTOP | WS_VSCROLL | WS_BORDER | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                kMeLog, FFont);
  // No length limit beyond the control's own.
  ::SendMessageW(meLog, EM_SETLIMITTEXT, 0, 0);
  btnRun = Child(FHandle, L"BUTTON", design::RunButtonCaption(), WS_TABSTOP | BS_DEFPUSHBUTTON,
                 kBtnRun, FFont);
  btnClose = Child(FHandle, L"BUTTON", design::CloseButtonCaption(), WS_TABSTOP | BS_PUSHBUTTON,
                   kBtnClose, FFont);
}

void TFormMain::Layout(int width, int height) {
  // lblLog sizes itself to its caption.
  SIZE label{};
  if (HDC dc = ::GetDC(lblLog)) {
    HGDIOBJ previous = ::SelectObject(dc, FFont);
    std::wstring caption = Wide(design::LogLabelCaption());
    ::GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &label);
    ::SelectObject(dc, previous);
    ::ReleaseDC(lblLog, dc);
  }
  ::MoveWindow(lblLog, design::kLogLabel.left, design::kLogLabel.top, label.cx, label.cy, FALSE);
  int memoHeight = height - design::kLabelPanelHeight - design::kButtonPanelHeight;
  ::MoveWindow(meLog, 0, design::kLabelPanelHeight, width, memoHeight > 0 ? memoHeight : 0, TRUE);
  // The buttons keep their design distance to the right edge.
  int panelTop = height - design::kButtonPanelHeight;
  int shift = width - design::kClientWidth;
  for (auto [button, rect] :
       {std::pair{btnRun, design::kRunButton}, std::pair{btnClose, design::kCloseButton}}) {
    ::MoveWindow(button, rect.left + shift, panelTop + rect.top, rect.width, rect.height, TRUE);
  }
  ::InvalidateRect(FHandle, nullptr, TRUE);
}

void TFormMain::Show() {
  ::ShowWindow(FHandle, SW_SHOWNORMAL);
  ::UpdateWindow(FHandle);
  Focus(btnRun);
}

bool TFormMain::TranslateKeys(MSG& message) {
  return FHandle && ::IsDialogMessageW(FHandle, &message);
}

LRESULT CALLBACK TFormMain::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* form = reinterpret_cast<TFormMain*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!form) return ::DefWindowProcW(window, message, wParam, lParam);
  return form->HandleMessage(message, wParam, lParam);
}

LRESULT TFormMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = FHandle;  // FHandle is gone after the last message
  switch (message) {
    case WM_SHOWWINDOW:
      if (wParam && !FShown) {
        FShown = true;
        ::PostMessageW(FHandle, kFormShowMessage, 0, 0);
      }
      break;
    case kFormShowMessage:
      FormShow();
      return 0;
    case WM_COMMAND:
      // Enter and Esc arrive here too, for disabled buttons as well.
      if (LOWORD(wParam) == kBtnRun && ::IsWindowEnabled(btnRun)) btnRunClick();
      if (LOWORD(wParam) == kBtnClose && ::IsWindowEnabled(btnClose)) btnCloseClick();
      return 0;
    // The window is no dialog: activated again (after a box, say) the system
    // focuses the frame, which hands the focus on to the control that had it.
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focused = ::GetFocus();
        if (focused && ::IsChild(FHandle, focused)) FFocused = focused;
      }
      break;
    case WM_SETFOCUS:
      if (FFocused && ::IsWindowEnabled(FFocused)) ::SetFocus(FFocused);
      return 0;
    case WM_SIZE:
      Layout(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_GETMINMAXINFO: {
      SIZE least = OuterSize(design::kMinClientWidth, design::kMinClientHeight);
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      info->ptMinTrackSize = POINT{least.cx, least.cy};
      return 0;
    }
    case WM_CTLCOLORSTATIC:
      // The read-only memo keeps the colours of an edit control.
      if (reinterpret_cast<HWND>(lParam) == meLog) {
        ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    case WM_CLOSE:
      if (FormCloseQuery()) ::DestroyWindow(FHandle);
      return 0;
    case WM_DESTROY:
      if (FQuitOnClose) ::PostQuitMessage(0);
      break;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(FHandle, GWLP_USERDATA, 0);
      FHandle = nullptr;
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void TFormMain::FormShow() {
  FSession->FormShow();
}

void TFormMain::btnRunClick() {
  FSession->RunUpdates();
}

void TFormMain::btnCloseClick() {
  ::SendMessageW(FHandle, WM_CLOSE, 0, 0);
}

bool TFormMain::FormCloseQuery() const {
  return FSession->CanClose();
}

void TFormMain::AppendText(const std::string& text) {
  int end = ::GetWindowTextLengthW(meLog);
  std::wstring wide = Wide(text);
  ::SendMessageW(meLog, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
  ::SendMessageW(meLog, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
  ::SendMessageW(meLog, EM_SCROLLCARET, 0, 0);
}

void TFormMain::AddLine(const std::string& text) {
  // The memo's lines are separated, not ended, by a line break.
  AppendText(FLineCount++ > 0 ? "\r\n" + text : text);
}

void TFormMain::AppendToLastLine(const std::string& text) {
  AppendText(text);
}

TBoxAnswer TFormMain::ShowMessageBox(const TMessageBox& box) {
  UINT type = box.kind == TBoxKind::Warning ? MB_ICONWARNING : MB_ICONINFORMATION;
  type |= box.hasCancel ? MB_OKCANCEL : MB_OK;
  int answer =
      ::MessageBoxW(FHandle, BoxText(box).c_str(), Wide(BoxCaption(box.kind)).c_str(), type);
  return answer == IDOK ? TBoxAnswer::Ok : TBoxAnswer::Cancel;
}

void TFormMain::ShowError(const std::string& message) {
  ::MessageBoxW(FHandle, Wide(message).c_str(), Wide(design::ApplicationTitle()).c_str(),
                MB_ICONERROR | MB_OK);
}

void TFormMain::ProcessMessages() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The loop that waits for it is the program's own: hand it back.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (TranslateKeys(message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

void TFormMain::EnableControls(std::initializer_list<HWND> controls, bool enabled) {
  for (HWND control : controls)
    ::EnableWindow(control, enabled ? TRUE : FALSE);
}

void TFormMain::ShowState(TSessionState state) {
  bool ready = state == TSessionState::Ready;
  EnableControls({btnRun}, ready);
  EnableControls({btnClose}, ready || state == TSessionState::Done);
  if (ready) Focus(btnRun);
  if (state == TSessionState::Done) Focus(btnClose);
}

void TFormMain::Focus(HWND control) {
  FFocused = control;
  ::SetFocus(control);
}

void TFormMain::Terminate() {
  // At the next turn of the message loop the window closes, and with it the
  // program.
  ::PostMessageW(FHandle, WM_CLOSE, 0, 0);
}

}  // namespace slv2
