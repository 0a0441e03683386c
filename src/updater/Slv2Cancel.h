// Ending an update run early on request (a signal, the console's close
// event). The request may come at any moment, from a signal handler or
// another thread; the run notices it at its next safe point (between
// elements, entries, scripts and steps, where nothing is half done) and
// unwinds with TRunCancelled. That exception is deliberately no
// std::exception: the steps' own error handling, which catches and logs
// every failure, lets it pass, and so does the product's error tally.
#pragma once

namespace slv2 {

class TRunCancelled {
 public:
  explicit TRunCancelled(int reason) : FReason(reason) {}
  // What asked for the end (a signal number, a console event).
  int Reason() const { return FReason; }

 private:
  int FReason;
};

namespace cancel {

// Asks the run to end. Safe in a signal handler.
void Request(int reason) noexcept;
bool Requested() noexcept;
// Forgets a request (a new run starts with none).
void Clear() noexcept;
// A safe point: raises TRunCancelled when the run is asked to end.
void CheckPoint();

}  // namespace cancel
}  // namespace slv2
