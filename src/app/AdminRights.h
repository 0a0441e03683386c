// Whether the current user may update installed products. Windows: the
// thread's (or else the process's) security token lists the Administrators
// group. Linux: the effective user is root, or the process belongs to one of
// the groups sudo, wheel or admin.
#pragma once

namespace slv2 {

bool IsUserAdministrator();

}  // namespace slv2
