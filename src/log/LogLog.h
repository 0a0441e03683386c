// The logging component's internal log, where it reports its own problems:
// a category without name, outside the registry but subject to the default
// hierarchy's threshold, at DEBUG, writing with a simple layout to the
// debugger output. Its DEBUG events are dropped unless internal debugging is
// switched on.
#pragma once

#include <atomic>

#include "log/LogCategory.h"

namespace slv2 {

class TLogLog : public TLogCategory {
 public:
  static TLogLog& Instance();

  bool InternalDebugging() const { return internalDebugging_; }
  void SetInternalDebugging(bool on) { internalDebugging_ = on; }

  void Log(const TLogPriority& priority, std::string_view message,
           const std::exception* error = nullptr) override;

 private:
  TLogLog();

  std::atomic<bool> internalDebugging_{false};
};

}  // namespace slv2
