#include "log/LogPriority.h"

namespace slv2 {

// Constant-initialised, so they exist before any static constructor logs and
// after any static destructor does.
const TLogPriority& TLogPriority::Debug() {
  static constinit const TLogPriority priority("DEBUG", 10000);
  return priority;
}

const TLogPriority& TLogPriority::Info() {
  static constinit const TLogPriority priority("INFO", 20000);
  return priority;
}

const TLogPriority& TLogPriority::Warn() {
  static constinit const TLogPriority priority("WARN", 30000);
  return priority;
}

const TLogPriority& TLogPriority::Error() {
  static constinit const TLogPriority priority("ERROR", 40000);
  return priority;
}

const TLogPriority& TLogPriority::Fatal() {
  static constinit const TLogPriority priority("FATAL", 50000);
  return priority;
}

}  // namespace slv2
