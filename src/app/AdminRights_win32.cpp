#include <memory>

#include "app/AdminRights.h"
#include "sys/WindowsApi.h"

namespace slv2 {

namespace {

// Closes a token handle when the check is done.
class TTokenHandle {
 public:
  TTokenHandle() = default;
  ~TTokenHandle() {
    if (FHandle) ::CloseHandle(FHandle);
  }
  TTokenHandle(const TTokenHandle&) = delete;
  TTokenHandle& operator=(const TTokenHandle&) = delete;
  HANDLE* Out() { return &FHandle; }
  HANDLE Get() const { return FHandle; }

 private:
  HANDLE FHandle = nullptr;
};

class TSid {
 public:
  TSid() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    ::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                               0, 0, 0, 0, &FSid);
  }
  ~TSid() {
    if (FSid) ::FreeSid(FSid);
  }
  TSid(const TSid&) = delete;
  TSid& operator=(const TSid&) = delete;
  PSID Get() const { return FSid; }

 private:
  PSID FSid = nullptr;
};

}  // namespace

// The token of the thread when it impersonates, else the process's. The
// check reads the token's group list as it stands; the manifest has Windows
// start the program elevated, so the group is there and enabled.
bool IsUserAdministrator() {
  TTokenHandle token;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.Out())) {
    if (::GetLastError() != ERROR_NO_TOKEN) return false;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Out())) return false;
  }
  TSid administrators;
  if (!administrators.Get()) return false;
  DWORD size = 0;
  ::GetTokenInformation(token.Get(), TokenGroups, nullptr, 0, &size);
  if (size == 0) return false;
  // DWORD-aligned storage for the group list.
  std::unique_ptr<DWORD[]> buffer(new DWORD[size / sizeof(DWORD) + 1]);
  auto* groups = reinterpret_cast<TOKEN_GROUPS*>(buffer.get());
  if (!::GetTokenInformation(token.Get(), TokenGroups, groups, size, &size)) return false;
  for (DWORD i = 0; i < groups->GroupCount; ++i) {
    if (::EqualSid(groups->Groups[i].Sid, administrators.Get())) return true;
  }
  return false;
}

}  // namespace slv2
