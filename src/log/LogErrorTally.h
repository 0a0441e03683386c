// Counts the error events of one category while it is attached: every event
// at ERROR or above, whatever priorities and thresholds let through to the
// appenders, so that a product run that logged a failure cannot pass for a
// successful one. Attached for its own life; one tally per category at a
// time. Safe for several threads (a category logs from worker threads too).
#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace slv2 {

class TLogCategory;

class TLogErrorTally {
 public:
  explicit TLogErrorTally(TLogCategory& category);
  ~TLogErrorTally();
  TLogErrorTally(const TLogErrorTally&) = delete;
  TLogErrorTally& operator=(const TLogErrorTally&) = delete;

  // Called by the category for each error event.
  void Note(std::string_view message);

  int Count() const;
  // The message of the first error event; empty while there was none.
  std::string First() const;

 private:
  TLogCategory& FCategory;
  mutable std::mutex FLock;
  int FCount = 0;
  std::string FFirst;
};

}  // namespace slv2
