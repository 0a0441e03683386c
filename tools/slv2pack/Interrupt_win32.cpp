#include <windows.h>

#include <cstdio>

#include "Interrupt.h"
#include "publish/RemoveOnInterrupt.h"

namespace slv2::pack {
namespace {

// The system runs the handler on a thread of its own.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  publish::RemoveRegisteredPaths();
  std::fprintf(stderr, "slv2pack: interrupted (console event %lu); nothing left behind\n",
               static_cast<unsigned long>(event));
  ::ExitProcess(event == CTRL_C_EVENT ? 130 : 129);
  return TRUE;
}

}  // namespace

void RemoveScratchOnInterrupt() {
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace slv2::pack
