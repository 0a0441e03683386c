// The general exception class and the conventions every unit follows for its
// own failures: one class per unit, a message, and a class name that log lines
// print ("%s() failed: %s (%s)").
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace slv2 {

class Exception : public std::exception {
 public:
  // `systemError`: the platform's error code behind the failure (WinError.h),
  // 0 when there is none; the message stays as the unit words it, and the
  // detailed log gives the system's reason on a line of its own.
  explicit Exception(std::string message, uint32_t systemError = 0)
      : message_(std::move(message)), systemError_(systemError) {}
  const std::string& Message() const noexcept { return message_; }
  uint32_t SystemError() const noexcept { return systemError_; }
  const char* what() const noexcept override { return message_.c_str(); }
  virtual const char* ClassName() const noexcept { return "Exception"; }

 private:
  std::string message_;
  uint32_t systemError_;
};

// Declares a unit's exception class: derived from Base, message only, and
// reporting its own name.
#define SLV2_DECLARE_EXCEPTION(Name, Base)                            \
  class Name : public Base {                                          \
   public:                                                            \
    using Base::Base;                                                 \
    const char* ClassName() const noexcept override { return #Name; } \
  }

// A violated precondition is a programming error, not a run-time condition.
SLV2_DECLARE_EXCEPTION(EAssertionFailed, Exception);

// Raises EAssertionFailed with "Assertion failure (<unit>)".
[[noreturn]] void AssertionFailure(const char* unit);

#define SLV2_ASSERT(condition, unit)                  \
  do {                                                \
    if (!(condition)) ::slv2::AssertionFailure(unit); \
  } while (0)

// The class name and message of any exception, for the "failed" log lines:
// our own classes report themselves; anything else from the runtime (an
// allocation failure, a standard library error) is named the way the target
// runtime names it.
const char* ExceptionClassName(const std::exception& e) noexcept;
std::string ExceptionMessage(const std::exception& e);
// The platform's error code an exception of ours carries; 0 for any other.
uint32_t ExceptionSystemError(const std::exception& e) noexcept;

}  // namespace slv2
