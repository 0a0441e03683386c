// The five priorities of the logging component. One shared instance each;
// categories and events refer to them by address.
#pragma once

#include <cstdint>

namespace slv2 {

class TLogPriority {
 public:
  static const TLogPriority& Debug();  // "DEBUG", 10000
  static const TLogPriority& Info();   // "INFO", 20000
  static const TLogPriority& Warn();   // "WARN", 30000
  static const TLogPriority& Error();  // "ERROR", 40000
  static const TLogPriority& Fatal();  // "FATAL", 50000

  const char* Name() const { return name_; }
  int32_t Level() const { return level_; }
  bool IsGreaterOrEqual(const TLogPriority& other) const { return level_ >= other.level_; }

  TLogPriority(const TLogPriority&) = delete;
  TLogPriority& operator=(const TLogPriority&) = delete;

 private:
  constexpr TLogPriority(const char* name, int32_t level) : name_(name), level_(level) {}

  const char* name_;
  int32_t level_;
};

}  // namespace slv2
