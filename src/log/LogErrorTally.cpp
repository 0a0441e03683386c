#include "log/LogErrorTally.h"

#include "log/LogCategory.h"

namespace slv2 {

TLogErrorTally::TLogErrorTally(TLogCategory& category) : FCategory(category) {
  FCategory.SetErrorTally(this);
}

TLogErrorTally::~TLogErrorTally() {
  FCategory.SetErrorTally(nullptr);
}

void TLogErrorTally::Note(std::string_view message) {
  std::lock_guard<std::mutex> guard(FLock);
  if (FCount++ == 0) FFirst = std::string(message);
}

int TLogErrorTally::Count() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FCount;
}

std::string TLogErrorTally::First() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FFirst;
}

}  // namespace slv2
