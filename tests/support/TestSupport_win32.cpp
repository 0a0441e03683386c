// The Windows side of the test fixtures: folders through kernel32, the
// read-only attribute, and registry roots redirected per process.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>

#include "TestSupport.h"
#include "sys/Cp1251.h"
#include "sys/Format.h"
#include "sys/WinError.h"

namespace slv2::test {
namespace stdfs = std::filesystem;

stdfs::path FsPath(const std::string& path) {
  int n = ::MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(), n);
  return stdfs::path(wide);
}

std::string ProgramPath(const stdfs::path& path) {
  std::wstring wide = path.generic_wstring();
  int n = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
  std::string text(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, nullptr);
  return text;
}

namespace {

constexpr const char* kTestRoot = "Software\\slv2-test";

// Removes a folder tree, read-only entries included, without the code under
// test.
void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA data;
  HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        ::DeleteFileA(path.c_str());
      }
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
  }
  ::SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::RemoveDirectoryA(folder.c_str());
}

std::string Unique(const char* prefix) {
  static std::atomic<unsigned> counter{0};
  return Format("%s%lu-%lu-%u", prefix, ::GetCurrentProcessId(), ::GetTickCount(), counter++);
}

const HKEY kRedirected[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS};
constexpr const char* kRedirectedNames[] = {"HKLM", "HKCU", "HKCR", "HKU"};

// One argument quoted by the rules the C runtime splits command lines with.
std::string Quoted(const std::string& arg) {
  std::string q = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    q.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    q += c;
  }
  q.append(backslashes * 2, '\\');
  return q + "\"";
}

// A file a child process writes (or, with `read`, reads) as a standard
// stream.
HANDLE Inheritable(const std::string& path, bool read = false) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileA(path.c_str(), read ? GENERIC_READ : GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       read ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A started program and the job that holds it and every process it starts,
// so that a kill ends them all, as a power cut would.
struct Started {
  HANDLE process;
  HANDLE job;
};

// Programs started and not yet waited for, by process id; those that
// KillProgram ended.
std::mutex g_startedLock;
std::map<int, Started> g_started;
std::set<int> g_killed;

// Starts a program as RunProgram names it, suspended: its process and
// thread, or none.
PROCESS_INFORMATION Launch(const std::string& name, const std::vector<std::string>& args,
                           const std::string& outFile, const std::string& errFile,
                           const std::string& inFile, const std::string& folder) {
  bool path = name.find_first_of("/\\") != std::string::npos;
  std::string program = (path ? name : BinDir() + "/" + name) + ".exe";
  std::string line = Quoted(program);
  for (const std::string& a : args)
    line += " " + Quoted(a);
  HANDLE out = Inheritable(outFile), err = Inheritable(errFile);
  HANDLE in = inFile.empty() ? ::GetStdHandle(STD_INPUT_HANDLE) : Inheritable(inFile, true);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  bool started =
      out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE && in != INVALID_HANDLE_VALUE &&
      ::CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                       nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &process);
  for (HANDLE h : {out, err})
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  if (!inFile.empty() && in != INVALID_HANDLE_VALUE) ::CloseHandle(in);
  return started ? process : PROCESS_INFORMATION{};
}

// Ends every process the program started. Under Wine a process started a
// moment before its parent's job ends can escape the job; left running, it
// would hold the test's output open. Process ids are reused, so a process
// whose parent id is the program's but which began before it is another's
// child (Wine's own services, started by an earlier process that had the id)
// and is left alone: ending it would break every later run.
void EndChildren(int pid, HANDLE program) {
  FILETIME programStart, unused[3];
  if (!::GetProcessTimes(program, &programStart, &unused[0], &unused[1], &unused[2])) return;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (bool more = ::Process32First(snapshot, &entry); more;
       more = ::Process32Next(snapshot, &entry)) {
    if (entry.th32ParentProcessID != static_cast<DWORD>(pid)) continue;
    HANDLE child = ::OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                 entry.th32ProcessID);
    if (!child) continue;
    FILETIME childStart;
    if (::GetProcessTimes(child, &childStart, &unused[0], &unused[1], &unused[2]) &&
        ::CompareFileTime(&childStart, &programStart) >= 0) {
      ::TerminateProcess(child, 1);
    }
    ::CloseHandle(child);
  }
  ::CloseHandle(snapshot);
}

}  // namespace

int StartProgram(const std::string& name, const std::vector<std::string>& args,
                 const std::string& outFile, const std::string& errFile, const std::string& inFile,
                 const std::string& folder) {
  PROCESS_INFORMATION process = Launch(name, args, outFile, errFile, inFile, folder);
  if (!process.hProcess) {
    // The caller sees only -1, and the program wrote nothing.
    std::fprintf(stderr, "cannot start %s: %s\n", name.c_str(),
                 SysErrorMessage(::GetLastError()).c_str());
    return -1;
  }
  HANDLE job = ::CreateJobObjectA(nullptr, nullptr);
  if (job) ::AssignProcessToJobObject(job, process.hProcess);
  ::ResumeThread(process.hThread);
  ::CloseHandle(process.hThread);
  int pid = static_cast<int>(process.dwProcessId);
  std::lock_guard<std::mutex> hold(g_startedLock);
  g_started[pid] = Started{process.hProcess, job};
  return pid;
}

void KillProgram(int pid) {
  std::lock_guard<std::mutex> hold(g_startedLock);
  auto it = g_started.find(pid);
  // A program that has ended by itself is not killed; what it started is.
  if (it == g_started.end()) return;
  bool running = ::WaitForSingleObject(it->second.process, 0) == WAIT_TIMEOUT;
  bool ended = it->second.job ? ::TerminateJobObject(it->second.job, 1)
                              : ::TerminateProcess(it->second.process, 1);
  EndChildren(pid, it->second.process);
  if (running && ended) g_killed.insert(pid);
}

int WaitProgram(int pid) {
  Started started{};
  bool killed = false;
  {
    std::lock_guard<std::mutex> hold(g_startedLock);
    auto it = g_started.find(pid);
    if (it == g_started.end()) return -1;
    started = it->second;
    g_started.erase(it);
    killed = g_killed.erase(pid) > 0;
  }
  DWORD code = 0;
  bool ended = ::WaitForSingleObject(started.process, INFINITE) == WAIT_OBJECT_0 &&
               ::GetExitCodeProcess(started.process, &code);
  ::CloseHandle(started.process);
  if (started.job) ::CloseHandle(started.job);
  return ended && !killed ? static_cast<int>(code) : -1;
}

std::string FromTerminalText(std::string_view text) {
  return std::string(text);
}

// The C runtime's copy of the environment and the process's own, which
// kernel32 reads, both change.
void SetEnv(const char* name, const std::string* value) {
  ::_putenv_s(name, value ? value->c_str() : "");
}

const char* TempFolderVariable() {
  return "TMP";
}

std::string Join(const std::string& folder, std::string_view relative) {
  std::string tail(relative);
  std::replace(tail.begin(), tail.end(), '/', '\\');
  return folder + "\\" + tail;
}

std::string WineVersion() {
  using Getter = const char*(__cdecl*)();
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  auto get = ntdll ? reinterpret_cast<Getter>(
                         reinterpret_cast<void*>(::GetProcAddress(ntdll, "wine_get_version")))
                   : nullptr;
  return get ? get() : "";
}

TempDir::TempDir() {
  char temp[MAX_PATH + 1];
  DWORD n = ::GetTempPathA(sizeof temp, temp);
  if (n == 0 || n > MAX_PATH) throw std::runtime_error("GetTempPathA failed");
  std::string base(temp, n);
  if (base.back() == '\\') base.pop_back();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = base + "\\" + Unique("slv2-test-");
    if (::CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  RemoveTree(path_);
}

TempRegistry::TempRegistry() : key_(std::string(kTestRoot) + "\\" + Unique("")) {
  // The redirections first close over the real roots, so they are all made
  // below the real HKEY_CURRENT_USER before any root is redirected.
  HKEY keys[4] = {};
  for (int i = 0; i < 4; ++i) {
    std::string path = key_ + "\\" + kRedirectedNames[i];
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &keys[i], nullptr) != ERROR_SUCCESS) {
      throw std::runtime_error("cannot create a test registry key");
    }
  }
  for (int i = 0; i < 4; ++i) {
    ::RegOverridePredefKey(kRedirected[i], keys[i]);
    ::RegCloseKey(keys[i]);
  }
}

bool TempRegistry::ReachesPrograms() {
  return false;
}

TempRegistry::~TempRegistry() {
  for (HKEY root : kRedirected)
    ::RegOverridePredefKey(root, nullptr);
  ::RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str());
}

// The file helpers go through kernel32 with the program's own ANSI names, as
// the code under test does: MinGW's std::filesystem fails on Cyrillic names
// under code page 1251.
void WriteFile(const std::string& path, std::string_view content) {
  for (size_t at = path.find_first_of("/\\", 3); at != std::string::npos;
       at = path.find_first_of("/\\", at + 1)) {
    ::CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  }
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot write " << AnsiToUtf8(path);
  DWORD written = 0;
  BOOL ok = content.empty() || ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()),
                                           &written, nullptr);
  ::CloseHandle(file);
  ASSERT_TRUE(ok && written == content.size()) << "cannot write " << AnsiToUtf8(path);
}

std::string ReadFile(const std::string& path) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << "cannot read " << AnsiToUtf8(path);
  std::string content;
  if (file == INVALID_HANDLE_VALUE) return content;
  char buffer[65536];
  DWORD n = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0)
    content.append(buffer, n);
  ::CloseHandle(file);
  return content;
}

bool PathExists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeReadOnly(const std::string& path, bool readOnly) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  attributes =
      readOnly ? attributes | FILE_ATTRIBUTE_READONLY : attributes & ~FILE_ATTRIBUTE_READONLY;
  ::SetFileAttributesA(path.c_str(), attributes);
}

bool HasNewFilePermissions(const std::string& path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_READONLY);
}

bool IsReadOnly(const std::string& path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

}  // namespace slv2::test
