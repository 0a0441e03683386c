// Windows twin of the process runner: CreateProcessA and the waits.
#include <string>

#include "sys/Process.h"
#include "sys/WindowsApi.h"

namespace slv2 {

uint32_t ExecAndWait(std::string_view commandLine, uint32_t showState) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showState);
  PROCESS_INFORMATION process{};
  // CreateProcessA may write into the command line.
  std::string line(commandLine);
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &process)) {
    return kExecFailed;
  }
  // A program without windows makes WaitForInputIdle return at once.
  ::WaitForInputIdle(process.hProcess, INFINITE);
  uint32_t result = kExecFailed;
  if (::WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0) {
    DWORD code;
    if (::GetExitCodeProcess(process.hProcess, &code)) result = code;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return result;
}

}  // namespace slv2
