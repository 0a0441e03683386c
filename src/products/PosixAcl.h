// A file's DACL over POSIX access lists (used by the security layer's Linux
// twin). Paths are program strings, reached as the file layer reaches every
// path: below an anchored root a link is refused, never followed, so that
// no access list is read or changed through one.
//
// Read, write and execute are r, w and x; full control is rwx (search for a
// folder). A folder's access list holds its own rights: entries with
// CONTAINER_INHERIT and specific masks. Its default access list holds what
// files created in it get: entries with OBJECT_INHERIT|INHERIT_ONLY and
// generic masks. A file has an access list only.
//
// Windows adds up every entry that applies to a user, and Everyone applies to
// all users; POSIX takes the one entry that fits a user best. So on writing,
// every entry also gets what Everyone gets (the owner and owning group, which
// every list has, get at least that) and the mask is the union of the group
// class, so that what the list says is what applies. On reading, an entry
// that says what Everyone's says is left out, and an entry that holds less
// than Everyone's adds a denying entry for the difference. What WriteDacl
// writes thus reads back the same (a file's entries without flags) as long as
// every other account holds more than Everyone and only read, write and
// execute are asked for: rights beyond them have no POSIX counterpart.
//
// A read-only file (no write permission for its owner: the file layer's
// read-only attribute) stays read-only: on Windows the attribute denies
// writing to every user whatever the DACL says.
#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

#include "products/SecurityApi.h"

namespace slv2::security {

DaclResult ReadPosixAcl(const std::string& path, Dacl* dacl);
DaclResult WritePosixAcl(const std::string& path, const std::vector<AccessEntry>& entries);
// The same write to the object of a descriptor opened for reading, with its
// status: both lists are written through the descriptor.
DaclResult WritePosixAclAt(int object, const struct stat& st,
                           const std::vector<AccessEntry>& entries);

}  // namespace slv2::security
