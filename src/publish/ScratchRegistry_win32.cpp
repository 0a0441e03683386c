#include <windows.h>

#include "publish/PublishError.h"
#include "publish/ScratchRegistry.h"
#include "sys/Format.h"

namespace slv2::publish {

namespace {
constexpr const char kParent[] = "Software\\slv2pack";
const HKEY kRedirected[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
constexpr const char* kRedirectedNames[] = {"HKLM", "HKCU"};
}  // namespace

TScratchRegistry::TScratchRegistry(const std::string&) {
  saved_ = Format("%s\\verify-%lu-%lu", kParent, ::GetCurrentProcessId(), ::GetTickCount());
  // Every stand-in is made below the real HKEY_CURRENT_USER before any root
  // is redirected.
  HKEY keys[2] = {};
  for (int i = 0; i < 2; ++i) {
    std::string path = saved_ + "\\" + kRedirectedNames[i];
    LONG status = ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &keys[i], nullptr);
    if (status != ERROR_SUCCESS) {
      if (i == 1) ::RegCloseKey(keys[0]);
      ::RegDeleteTreeA(HKEY_CURRENT_USER, saved_.c_str());
      throw EPublishError(Format("Cannot create the registry key %s (%ld)", path.c_str(), status));
    }
  }
  for (int i = 0; i < 2; ++i) {
    ::RegOverridePredefKey(kRedirected[i], keys[i]);
    ::RegCloseKey(keys[i]);
  }
}

TScratchRegistry::~TScratchRegistry() {
  for (HKEY root : kRedirected)
    ::RegOverridePredefKey(root, nullptr);
  ::RegDeleteTreeA(HKEY_CURRENT_USER, saved_.c_str());
  ::RegDeleteKeyA(HKEY_CURRENT_USER, kParent);  // unless another verify runs
}

bool TScratchRegistry::ReachesChildProcesses() {
  return false;
}

}  // namespace slv2::publish
