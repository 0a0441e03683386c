// Windows twin of the error texts: the system's own message table.
#include "sys/Format.h"
#include "sys/WinError.h"
#include "sys/WindowsApi.h"

namespace slv2 {

std::string SysErrorMessage(uint32_t code) {
  char text[1024];
  DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, sizeof text, nullptr);
  std::string message(text, n);
  while (!message.empty() && (message.back() == ' ' || message.back() == '.' ||
                              message.back() == '\r' || message.back() == '\n')) {
    message.pop_back();
  }
  return message.empty() ? Format("System error %u", code) : message;
}

}  // namespace slv2
