// Containment of paths named by an update storage: whatever a storage names
// (an element, an ini entry, a mask, an unpacking path) must resolve inside
// the folder it is meant for.
#pragma once

#include <string>
#include <string_view>

namespace slv2 {

// True when `path` lies below `folder` (or is `folder` itself, with
// allowSame). Both are normalised ("." and ".." resolved) and compared
// component by component, ignoring case, in either path form; a path of
// another form (POSIX, drive, UNC, relative) is never inside, and nothing is
// inside an empty folder.
bool PathWithin(std::string_view folder, std::string_view path, bool allowSame);

// True when reaching `path` would pass through a link that the file layer
// refuses to follow (a folder on the way below an anchored root is one), or,
// with `itself`, when the path is a link.
bool PassesThroughLink(std::string_view path, bool itself);

// True when the name holds a control character (1-31, 127): no Windows file
// name may, and written into the log such a name could forge lines or drive
// the terminal the log is shown on.
bool HasControlCharacters(std::string_view name);
// The text with every control character shown as "?", for messages.
std::string PrintableName(std::string_view text);

}  // namespace slv2
