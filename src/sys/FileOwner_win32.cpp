#include "sys/FileOwner_win32.h"

#include <aclapi.h>

#include <vector>

namespace slv2::fs::win32 {
namespace {

// The token's user and default owner, read once.
struct TokenSids {
  std::vector<BYTE> user, owner;
};

const TokenSids& RunningUser() {
  static const TokenSids sids = [] {
    TokenSids out;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return out;
    auto read = [token](TOKEN_INFORMATION_CLASS what, std::vector<BYTE>* sid) {
      DWORD size = 0;
      ::GetTokenInformation(token, what, nullptr, 0, &size);
      std::vector<BYTE> buffer(size);
      if (size == 0 || !::GetTokenInformation(token, what, buffer.data(), size, &size)) return;
      PSID found = what == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid
                                     : reinterpret_cast<TOKEN_OWNER*>(buffer.data())->Owner;
      const BYTE* start = static_cast<const BYTE*>(found);
      sid->assign(start, start + ::GetLengthSid(found));
    };
    read(TokenUser, &out.user);
    read(TokenOwner, &out.owner);
    ::CloseHandle(token);
    return out;
  }();
  return sids;
}

bool Same(PSID sid, const std::vector<BYTE>& other) {
  return !other.empty() && ::EqualSid(sid, const_cast<BYTE*>(other.data()));
}

// Rights over a folder that let their holder change what it holds or who
// may: entries added, removed or renamed, the folder's access list or owner.
constexpr ACCESS_MASK kWriteRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD |
                                     WRITE_DAC | WRITE_OWNER | DELETE | GENERIC_WRITE | GENERIC_ALL;

bool Trusted(PSID sid) {
  return IsAdministrators(sid) || IsRunningUser(sid);
}

}  // namespace

std::string ReadSecurity(const std::string& path, SECURITY_INFORMATION what) {
  HANDLE object = ::CreateFileA(
      path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (object == INVALID_HANDLE_VALUE) return {};
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD error = ::GetSecurityInfo(object, SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr,
                                  &descriptor);
  ::CloseHandle(object);
  if (error != ERROR_SUCCESS) {
    ::SetLastError(error);
    return {};
  }
  std::string out(static_cast<const char*>(descriptor), ::GetSecurityDescriptorLength(descriptor));
  ::LocalFree(descriptor);
  return out;
}

PSID OwnerOf(const std::string& descriptor) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (descriptor.empty() ||
      !::GetSecurityDescriptorOwner(const_cast<char*>(descriptor.data()), &owner, &defaulted)) {
    return nullptr;
  }
  return owner;
}

bool IsAdministrators(PSID sid) {
  return sid && (::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
                 ::IsWellKnownSid(sid, WinLocalSystemSid));
}

bool IsRunningUser(PSID sid) {
  return sid && (Same(sid, RunningUser().user) || Same(sid, RunningUser().owner));
}

bool OthersMayWrite(const std::string& folder) {
  std::string descriptor =
      ReadSecurity(folder, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
  PSID owner = OwnerOf(descriptor);
  if (!owner || !Trusted(owner)) return true;
  BOOL present = FALSE, defaulted = FALSE;
  PACL acl = nullptr;
  if (!::GetSecurityDescriptorDacl(const_cast<char*>(descriptor.data()), &present, &acl,
                                   &defaulted)) {
    return true;
  }
  if (!present || !acl) return true;  // no list: everyone may do anything
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* entry = nullptr;
    if (!::GetAce(acl, i, &entry)) return true;
    auto* header = static_cast<ACE_HEADER*>(entry);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) {
      continue;
    }
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    if ((allowed->Mask & kWriteRights) && !Trusted(&allowed->SidStart)) return true;
  }
  return false;
}

}  // namespace slv2::fs::win32
