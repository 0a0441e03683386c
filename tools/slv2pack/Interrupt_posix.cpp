#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "Interrupt.h"
#include "publish/RemoveOnInterrupt.h"

namespace slv2::pack {
namespace {

// The handler only hands the signal to the thread that removes the files:
// removing them is no work for a signal handler.
int g_pipe[2] = {-1, -1};

extern "C" void OnSignal(int signal) {
  unsigned char number = static_cast<unsigned char>(signal);
  ssize_t ignored = ::write(g_pipe[1], &number, 1);
  (void)ignored;
}

void WaitForSignal() {
  unsigned char number = 0;
  while (::read(g_pipe[0], &number, 1) != 1) {
  }
  publish::RemoveRegisteredPaths();
  std::fprintf(stderr, "slv2pack: interrupted (signal %d); nothing left behind\n", number);
  ::_exit(128 + number);
}

}  // namespace

void RemoveScratchOnInterrupt() {
  if (::pipe(g_pipe) != 0) return;
  std::thread(WaitForSignal).detach();
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP})
    ::sigaction(signal, &action, nullptr);
}

}  // namespace slv2::pack
