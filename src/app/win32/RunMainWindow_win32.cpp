#include "app/MainWindow.h"
#include "app/win32/FormMain_win32.h"
#include "sys/WindowsApi.h"
// Needs <windows.h> first.
#include <commctrl.h>

namespace slv2 {

int RunMainWindow(int&, char**, TSessionOptions options) {
  // The controls in the platform's visual styles (the manifest asks for
  // version 6 of the common controls).
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  TFormMain window(std::move(options), true);
  window.Show();
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (window.TranslateKeys(message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return window.Session().ExitStatus();
}

}  // namespace slv2
