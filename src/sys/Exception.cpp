#include "sys/Exception.h"

#include <new>

namespace slv2 {

void AssertionFailure(const char* unit) {
  throw EAssertionFailed(std::string("Assertion failure (") + unit + ")");
}

const char* ExceptionClassName(const std::exception& e) noexcept {
  if (auto* own = dynamic_cast<const Exception*>(&e)) return own->ClassName();
  if (dynamic_cast<const std::bad_alloc*>(&e)) return "EOutOfMemory";
  return "Exception";
}

std::string ExceptionMessage(const std::exception& e) {
  if (auto* own = dynamic_cast<const Exception*>(&e)) return own->Message();
  if (dynamic_cast<const std::bad_alloc*>(&e)) return "Out of memory";
  return e.what();
}

uint32_t ExceptionSystemError(const std::exception& e) noexcept {
  auto* own = dynamic_cast<const Exception*>(&e);
  return own ? own->SystemError() : 0;
}

}  // namespace slv2
