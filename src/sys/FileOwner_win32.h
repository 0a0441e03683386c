// Who owns a file, folder or link on Windows, and who may write a folder:
// for the Windows twins of the file layer and of the layers above. The
// object itself is asked, never the target of a junction or symbolic link.
#pragma once

#include <string>

#include "sys/WindowsApi.h"

namespace slv2::fs::win32 {

// The parts `what` of the object's security descriptor (self-relative);
// empty on failure, with LastError() set.
std::string ReadSecurity(const std::string& path, SECURITY_INFORMATION what);
// The owner in such a descriptor; null when it holds none.
PSID OwnerOf(const std::string& descriptor);

// The Administrators group or SYSTEM: an owner only an administrator gives.
bool IsAdministrators(PSID sid);
// The running user, or the owner its token gives what it creates (the
// Administrators group for an elevated administrator).
bool IsRunningUser(PSID sid);

// Whether anyone but the administrators and the running user may add,
// remove or rename the folder's entries: the folder's owner is someone
// else, or an entry of its access list grants someone else a right to
// write. True when that cannot be read.
bool OthersMayWrite(const std::string& folder);

}  // namespace slv2::fs::win32
