#include <pwd.h>
#include <unistd.h>

#include <climits>

#include "app/MachineIdentity.h"
#include "sys/Cp1251.h"

namespace slv2 {

std::string MachineHostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return Utf8ToAnsi(name);
}

std::string MachineUserName() {
  const passwd* entry = ::getpwuid(::geteuid());
  return entry ? Utf8ToAnsi(entry->pw_name) : std::string();
}

}  // namespace slv2
