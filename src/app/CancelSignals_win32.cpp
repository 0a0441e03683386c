// Windows twin: the console's control events.
#include "app/CancelSignals.h"
#include "sys/WindowsApi.h"
#include "updater/Slv2Cancel.h"

namespace slv2 {
namespace {

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  int status = TCancelSignals::ExitStatusWhenIdle();
  if (status >= 0) ::ExitProcess(static_cast<UINT>(status));
  cancel::Request(static_cast<int>(event) + 1);
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  // Close, logoff, shutdown: the system ends the process when this returns
  // (or after a few seconds), so the run gets those seconds to reach its
  // safe point and end itself.
  for (int waited = 0; TCancelSignals::ExitStatusWhenIdle() < 0 && waited < 4500; waited += 50)
    ::Sleep(50);
  return TRUE;
}

}  // namespace

TCancelSignals::TCancelSignals() {
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

TCancelSignals::~TCancelSignals() {
  ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}

std::string TCancelSignals::ReasonName(int reason) {
  switch (reason - 1) {
    case CTRL_C_EVENT:
      return "Ctrl+C";
    case CTRL_BREAK_EVENT:
      return "Ctrl+Break";
    case CTRL_CLOSE_EVENT:
      return "the console closed";
    case CTRL_LOGOFF_EVENT:
      return "the user logged off";
    case CTRL_SHUTDOWN_EVENT:
      return "the system shut down";
    default:
      return "console event " + std::to_string(reason - 1);
  }
}

}  // namespace slv2
