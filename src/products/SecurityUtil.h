// Opening a file or folder to all users: a DACL that grants full control to
// Everyone and to no one else (for a folder: also to the files created in it).
#pragma once

#include <cstdint>
#include <string>

#include "products/SecurityApi.h"

namespace slv2 {

// True once the platform's security functions are usable.
bool LoadSecurityApi(security::SecurityApi& api = security::PlatformSecurityApi());
// Replaces the DACL of `path` by full control for Everyone; the result is the
// error of the step that failed (the volume's when the object could not be
// taken, else the write's; 0: done). Raises EFileSecurityError when Everyone
// cannot be looked up.
uint32_t SetEveryoneFullControl(const std::string& path,
                                security::SecurityApi& api = security::PlatformSecurityApi());
// SetEveryoneFullControl on systems that keep access lists; true when the path
// now grants full control to Everyone alone. Never raises: a failure is told
// through `why`, when given.
bool AllowFileForEveryone(const std::string& path,
                          security::SecurityApi& api = security::PlatformSecurityApi(),
                          std::string* why = nullptr);

}  // namespace slv2
