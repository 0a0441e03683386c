#include "updater/Slv2Reason.h"

#include "sys/Exception.h"
#include "sys/Format.h"
#include "sys/WinError.h"

namespace slv2 {

std::string WithReason(std::string line, uint32_t systemError) {
  if (systemError == kErrorSuccess) return line;
  return line + "\r\n  " + SysErrorMessage(systemError);
}

std::string FailedLine(const char* operation, const std::exception& error) {
  return WithReason(Format("%s() failed: %s (%s)", operation, ExceptionClassName(error),
                           ExceptionMessage(error).c_str()),
                    ExceptionSystemError(error));
}

}  // namespace slv2
