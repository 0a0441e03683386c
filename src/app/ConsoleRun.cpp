#include <iostream>

#include "app/ConsoleUi.h"
#include "app/UpdateSession.h"

namespace slv2 {

int RunConsole(TSessionOptions options, bool prompts) {
  options.unattended = !prompts;
  TConsoleUi ui(std::cout, std::cerr, std::cin, prompts);
  TUpdateSession session(ui, std::move(options));
  session.FormShow();
  session.RunUpdates();  // only when the start-up left it ready
  return session.ExitStatus();
}

}  // namespace slv2
