#include <grp.h>
#include <pwd.h>

#include "products/UnixAccounts.h"
#include "sys/Cp1251.h"
#include "sys/WinError.h"

namespace slv2::security {
namespace {

constexpr uint8_t kWorldAuthority = 1;
constexpr uint8_t kUnixAuthority = 22;  // as Samba names Unix users and groups
constexpr uint32_t kUnixUsers = 1;
constexpr uint32_t kUnixGroups = 2;

Sid MakeSid(uint8_t authority, std::initializer_list<uint32_t> subAuthorities) {
  Sid sid = {1, static_cast<uint8_t>(subAuthorities.size()), 0, 0, 0, 0, 0, authority};
  for (uint32_t sub : subAuthorities) {
    for (int shift = 0; shift < 32; shift += 8)
      sid.push_back(static_cast<uint8_t>(sub >> shift));
  }
  return sid;
}

uint32_t SubAuthority(const Sid& sid, size_t index) {
  uint32_t value = 0;
  for (int byte = 3; byte >= 0; --byte)
    value = (value << 8) | sid[8 + 4 * index + byte];
  return value;
}

}  // namespace

Sid SidOf(Principal principal) {
  switch (principal.kind) {
    case Principal::kUser:
      return MakeSid(kUnixAuthority, {kUnixUsers, principal.id});
    case Principal::kGroup:
      return MakeSid(kUnixAuthority, {kUnixGroups, principal.id});
    case Principal::kEveryone:
      break;
  }
  return MakeSid(kWorldAuthority, {0});
}

bool PrincipalOf(const Sid& sid, Principal* principal) {
  if (sid.size() < 8 || sid[0] != 1 || sid.size() != 8 + 4 * size_t{sid[1]}) return false;
  for (int byte = 2; byte < 7; ++byte) {
    if (sid[byte] != 0) return false;
  }
  if (sid[7] == kWorldAuthority && sid[1] == 1 && SubAuthority(sid, 0) == 0) {
    *principal = {Principal::kEveryone, 0};
    return true;
  }
  if (sid[7] != kUnixAuthority || sid[1] != 2) return false;
  uint32_t kind = SubAuthority(sid, 0);
  if (kind != kUnixUsers && kind != kUnixGroups) return false;
  *principal = {kind == kUnixUsers ? Principal::kUser : Principal::kGroup, SubAuthority(sid, 1)};
  return true;
}

uint32_t LookupUnixName(const std::string& name, Principal* principal, Account* account) {
  *account = {name, std::string(), 0};
  if (AnsiSameText(name, "Everyone")) {
    *principal = {Principal::kEveryone, 0};
    account->use = kSidTypeWellKnownGroup;
    return kErrorSuccess;
  }
  std::string native = AnsiToUtf8(name);
  if (const passwd* user = ::getpwnam(native.c_str())) {
    *principal = {Principal::kUser, static_cast<uint32_t>(user->pw_uid)};
    account->use = kSidTypeUser;
    return kErrorSuccess;
  }
  if (const group* grp = ::getgrnam(native.c_str())) {
    *principal = {Principal::kGroup, static_cast<uint32_t>(grp->gr_gid)};
    account->use = kSidTypeGroup;
    return kErrorSuccess;
  }
  return kErrorNoneMapped;
}

uint32_t LookupUnixPrincipal(Principal principal, Account* account) {
  *account = {};
  switch (principal.kind) {
    case Principal::kEveryone:
      *account = {"Everyone", std::string(), kSidTypeWellKnownGroup};
      return kErrorSuccess;
    case Principal::kUser:
      if (const passwd* user = ::getpwuid(static_cast<uid_t>(principal.id))) {
        *account = {Utf8ToAnsi(user->pw_name), std::string(), kSidTypeUser};
        return kErrorSuccess;
      }
      break;
    case Principal::kGroup:
      if (const group* grp = ::getgrgid(static_cast<gid_t>(principal.id))) {
        *account = {Utf8ToAnsi(grp->gr_name), std::string(), kSidTypeGroup};
        return kErrorSuccess;
      }
      break;
  }
  return kErrorNoneMapped;
}

}  // namespace slv2::security
