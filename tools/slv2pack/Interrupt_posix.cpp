#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "Interrupt.h"
#include "publish/RemoveOnInterrupt.h"

namespace slv2::pack {
namespace {

// Until a path is registered the handler ends the process itself; after,
// it only hands the signal to the thread that removes the paths: removing
// them is no work for a signal handler. Most commands register nothing and
// so never start that thread.
int g_pipe[2] = {-1, -1};
std::atomic<bool> g_watching{false};

// Formats by hand: a signal handler may not use the C library's formatting.
void SayInterrupted(int number) {
  char line[80];
  size_t length = 0;
  auto put = [&](const char* text) {
    while (*text)
      line[length++] = *text++;
  };
  put("slv2pack: interrupted (signal ");
  char digits[3];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number > 0 && count < 3);
  while (count > 0)
    line[length++] = digits[--count];
  put("); nothing left behind\n");
  ssize_t ignored = ::write(STDERR_FILENO, line, length);
  (void)ignored;
}

extern "C" void OnSignal(int signal) {
  if (!g_watching.load()) {
    SayInterrupted(signal);
    ::_exit(128 + signal);
  }
  unsigned char number = static_cast<unsigned char>(signal);
  ssize_t ignored = ::write(g_pipe[1], &number, 1);
  (void)ignored;
}

void WaitForSignal() {
  unsigned char number = 0;
  while (::read(g_pipe[0], &number, 1) != 1) {
  }
  publish::RemoveRegisteredPaths();
  SayInterrupted(number);
  ::_exit(128 + number);
}

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Holds the signals back on the calling thread for its life: a thread
// started meanwhile inherits the mask and keeps them blocked for good.
class TSignalsHeld {
 public:
  TSignalsHeld() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : kSignals)
      sigaddset(&signals, signal);
    ::pthread_sigmask(SIG_BLOCK, &signals, &previous_);
  }
  ~TSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  TSignalsHeld(const TSignalsHeld&) = delete;
  TSignalsHeld& operator=(const TSignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

// A signal arriving while the watcher starts waits and then finds it ready.
// Without the pipe the handler goes on ending the process itself, leaving
// what was registered: the work can still go on, and the user is told.
void StartWatcher() {
  TSignalsHeld held;
  if (::pipe(g_pipe) != 0) {
    std::perror("slv2pack: an interruption would leave scratch files behind");
    return;
  }
  std::thread(WaitForSignal).detach();
  g_watching.store(true);
}

}  // namespace

void RemoveScratchOnInterrupt() {
  publish::BeforeFirstRegistration(StartWatcher);
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : kSignals)
    ::sigaction(signal, &action, nullptr);
}

}  // namespace slv2::pack
