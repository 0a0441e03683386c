#include "log/LogLog.h"

#include "log/LogHierarchy.h"
#include "log/LogODSAppender.h"

namespace slv2 {

TLogLog::TLogLog() : TLogCategory("") {
  Attach(&TLogHierarchy::Default(), nullptr);
  TLogCategory::SetPriority(&TLogPriority::Debug());
  AddAppender(std::make_shared<TLogODSAppender>(std::make_unique<TLogSimpleLayout>()));
}

TLogLog& TLogLog::Instance() {
  static TLogLog log;
  return log;
}

void TLogLog::Log(const TLogPriority& priority, std::string_view message,
                  const std::exception* error) {
  if (&priority == &TLogPriority::Debug() && !internalDebugging_) return;
  TLogCategory::Log(priority, message, error);
}

}  // namespace slv2
