// Accounts of a Linux machine in the terms of the security layer (used by its
// Linux twin only): Everyone is the well-known S-1-1-0 and stands for the
// `other` class; users and groups of the name service are S-1-22-1-<uid> and
// S-1-22-2-<gid>. Names are program strings.
#pragma once

#include <sys/types.h>

#include <compare>
#include <cstdint>
#include <string>

#include "products/SecurityApi.h"

namespace slv2::security {

enum : uint32_t { kSidTypeUser = 1, kSidTypeGroup = 2, kSidTypeWellKnownGroup = 5 };

struct Principal {
  enum Kind : uint8_t { kUser, kGroup, kEveryone } kind = kEveryone;
  uint32_t id = 0;  // uid or gid
  auto operator<=>(const Principal&) const = default;
};

Sid SidOf(Principal principal);
// False for an identifier that names no Linux principal.
bool PrincipalOf(const Sid& sid, Principal* principal);

// The name service's answers, as LookupAccountNameA and LookupAccountSidA
// give them: 0 or ERROR_NONE_MAPPED. A name is a user first, then a group
// ("Everyone" in any letter case is Everyone).
uint32_t LookupUnixName(const std::string& name, Principal* principal, Account* account);
uint32_t LookupUnixPrincipal(Principal principal, Account* account);

}  // namespace slv2::security
