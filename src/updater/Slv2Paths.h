// Containment of paths named by an update storage: whatever a storage names
// (an element, an ini entry, a mask, an unpacking path) must resolve inside
// the folder it is meant for.
#pragma once

#include <string_view>

namespace slv2 {

// True when `path` lies below `folder` (or is `folder` itself, with
// allowSame). Both are normalised ("." and ".." resolved) and compared
// component by component, ignoring case, in either path form; a path of
// another form (POSIX, drive, UNC, relative) is never inside, and nothing is
// inside an empty folder.
bool PathWithin(std::string_view folder, std::string_view path, bool allowSame);

}  // namespace slv2
