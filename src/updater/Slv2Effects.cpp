#include "updater/Slv2Effects.h"

#include "sys/FileLayer.h"
#include "sys/WinError.h"

namespace slv2 {

void TSlv2Effects::Record(TSlv2Outcome outcome) {
  std::lock_guard<std::mutex> lock(FMutex);
  FOutcomes.push_back(std::move(outcome));
}

bool TSlv2Effects::Done(bool worked, TSlv2Outcome& outcome, const char* reason) {
  if (!worked) {
    uint32_t error = fs::LastError();
    outcome.failure = reason                   ? std::string(reason)
                      : error != kErrorSuccess ? SysErrorMessage(error)
                                               : std::string("failed");
  }
  Record(std::move(outcome));
  return worked;
}

size_t TSlv2Effects::RecordCount() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FOutcomes.size();
}

void TSlv2Effects::Undone(size_t first, const std::string& reason) {
  std::lock_guard<std::mutex> lock(FMutex);
  for (size_t i = first; i < FOutcomes.size(); ++i) {
    if (FOutcomes[i].failure.empty()) FOutcomes[i].failure = reason;
  }
}

std::vector<TSlv2Outcome> TSlv2Effects::Outcomes() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FOutcomes;
}

void TSlv2Effects::Clear() {
  std::lock_guard<std::mutex> lock(FMutex);
  FOutcomes.clear();
}

}  // namespace slv2
