#include <grp.h>
#include <unistd.h>

#include <vector>

#include "app/AdminRights.h"

namespace slv2 {

namespace {

// The groups whose members administer a Linux system, by distribution.
constexpr const char* kAdminGroups[] = {"sudo", "wheel", "admin"};

}  // namespace

bool IsUserAdministrator() {
  if (::geteuid() == 0) return true;
  int count = ::getgroups(0, nullptr);
  if (count < 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  count = ::getgroups(count, groups.data());
  if (count < 0) return false;
  groups.resize(static_cast<size_t>(count));
  groups.push_back(::getegid());
  for (const char* name : kAdminGroups) {
    const group* entry = ::getgrnam(name);
    if (!entry) continue;
    for (gid_t gid : groups) {
      if (gid == entry->gr_gid) return true;
    }
  }
  return false;
}

}  // namespace slv2
