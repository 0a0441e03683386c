// The requests to end the program that come from outside: SIGTERM, SIGINT
// and SIGHUP on Linux; the console's Ctrl-C, Ctrl-Break, close, logoff and
// shutdown events on Windows. During a run they ask it to end at its next
// safe point (updater/Slv2Cancel.h), so that no element is left half done,
// the temporary files go and the run lock is let go on the way out; at any
// other moment, when nothing is being changed, they end the program at once
// with the exit status of that moment. Installed while the object lives.
#pragma once

#include <string>

namespace slv2 {

class TCancelSignals {
 public:
  TCancelSignals();
  ~TCancelSignals();
  TCancelSignals(const TCancelSignals&) = delete;
  TCancelSignals& operator=(const TCancelSignals&) = delete;

  // The session's side: a run starts (requests go to the run, and stop a
  // regular-expression search in progress) or nothing is being changed and
  // a request ends the program with `exitStatus`.
  static void RunStarts();
  static void RunEnds(int exitStatus);
  // For the handlers: the status a request ends the program with, or -1
  // while a run is on. Safe in a signal handler.
  static int ExitStatusWhenIdle() noexcept;

  // The name of a request's reason for the protocol ("SIGTERM", ...).
  static std::string ReasonName(int reason);
};

}  // namespace slv2
