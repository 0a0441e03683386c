// Linux twin: handlers for SIGTERM, SIGINT and SIGHUP.
#include <signal.h>
#include <unistd.h>

#include "app/CancelSignals.h"
#include "updater/Slv2Cancel.h"

namespace slv2 {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

struct sigaction g_previous[sizeof kSignals / sizeof kSignals[0]];

void OnSignal(int signal) {
  int status = TCancelSignals::ExitStatusWhenIdle();
  if (status < 0) return cancel::Request(signal);
  // Only what is safe in a signal handler.
  static const char kLine[] = "slv2update: ended by a signal\n";
  (void)!::write(STDERR_FILENO, kLine, sizeof kLine - 1);
  ::_exit(status);
}

}  // namespace

TCancelSignals::TCancelSignals() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // A system call the signal interrupts goes on: the run ends at its next
  // safe point, not in the middle of a write.
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
    ::sigaction(kSignals[i], &action, &g_previous[i]);
}

TCancelSignals::~TCancelSignals() {
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i)
    ::sigaction(kSignals[i], &g_previous[i], nullptr);
}

std::string TCancelSignals::ReasonName(int reason) {
  switch (reason) {
    case SIGTERM:
      return "SIGTERM";
    case SIGINT:
      return "SIGINT";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "signal " + std::to_string(reason);
  }
}

}  // namespace slv2
