#include "app/main/ProgramProcess.h"
#include "sys/WindowsApi.h"
// Both need <windows.h> first.
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>

namespace slv2 {

namespace {

std::string Utf8(const wchar_t* text) {
  int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string utf8(static_cast<size_t>(n - 1), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), n, nullptr, nullptr);
  return utf8;
}

bool Redirected(DWORD stream) {
  HANDLE handle = ::GetStdHandle(stream);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

}  // namespace

// The wide command line keeps every character of a folder name, whatever the
// ANSI code page.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i)
    args.push_back(Utf8(wide[i]));
  ::LocalFree(wide);
  return args;
}

TProgramProcess::TProgramProcess(bool terminal) {
  // Structured storage and the shell's folders are COM.
  FComInitialized = SUCCEEDED(::CoInitialize(nullptr));
  if (!terminal) return;
  bool out = Redirected(STD_OUTPUT_HANDLE), err = Redirected(STD_ERROR_HANDLE),
       in = Redirected(STD_INPUT_HANDLE);
  if ((out && err && in) || !::AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (!out) std::freopen("CONOUT$", "w", stdout);
  if (!err) std::freopen("CONOUT$", "w", stderr);
  if (!in) std::freopen("CONIN$", "r", stdin);
  // The terminal front end writes UTF-8.
  FOutputCodePage = ::GetConsoleOutputCP();
  FInputCodePage = ::GetConsoleCP();
  ::SetConsoleOutputCP(CP_UTF8);
  ::SetConsoleCP(CP_UTF8);
}

TProgramProcess::~TProgramProcess() {
  std::fflush(stdout);
  std::fflush(stderr);
  if (FOutputCodePage) ::SetConsoleOutputCP(FOutputCodePage);
  if (FInputCodePage) ::SetConsoleCP(FInputCodePage);
  if (FComInitialized) ::CoUninitialize();
}

}  // namespace slv2
