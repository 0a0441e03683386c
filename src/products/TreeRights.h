// A folder tree opened to all users (the shell's tree after an update): full
// control for Everyone on every file and folder below a root and on the root
// itself, links never followed.
//
// On Linux the walk goes by descriptors from the root's (reached as the file
// layer reaches an anchored root), one folder open at a time, and sets each
// entry's lists through its own descriptor, so that no path length and no
// link swapped in mid-walk matter; a regular file with more than one name
// that is not the root folder's owner's own is left out with a warning (it
// may be another user's file linked in). On Windows each entry goes through
// the security layer by its path.
#pragma once

#include <functional>
#include <string>

#include "products/SecurityApi.h"

namespace slv2 {

struct TreeRightsEvents {
  std::function<void()> check;                      // before each entry; may raise
  std::function<void(const std::string&)> warning;  // an entry left out on purpose
  std::function<void(const std::string&)> failure;  // an entry whose rights failed
};

// False (with a failure told) when the root cannot be opened, is not a
// folder or is a link no administrator made, or the walk cannot go on; only
// a root with nothing at all at its path is nothing to do.
bool OpenTreeToEveryone(const std::string& root, security::SecurityApi& api,
                        const TreeRightsEvents& events);

}  // namespace slv2
