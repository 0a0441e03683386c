#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "StdOut.h"
#include "sys/WindowsApi.h"

namespace slv2::pack {

bool WriteStdOut(const void* data, size_t size) {
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == INVALID_HANDLE_VALUE || out == nullptr) return false;
  auto* p = static_cast<const char*>(data);
  while (size > 0) {
    DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD n = 0;
    if (!::WriteFile(out, p, chunk, &n, nullptr) || n == 0) return false;
    p += n;
    size -= n;
  }
  return true;
}

void SetUpTerminal() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

std::string FromTerminal(const char* argument) {
  return argument;
}
std::string ToTerminal(std::string_view text) {
  return std::string(text);
}

}  // namespace slv2::pack
