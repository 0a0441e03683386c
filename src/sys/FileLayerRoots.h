// The anchored roots of the file layer (see fs::AnchoredRoot): which
// registered root a path lies below, and the components below it. Internal
// to the layer's twins.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace slv2::fs::detail {

struct Anchor {
  std::string root;                // the root as registered (program text)
  std::vector<std::string> below;  // the components below it, in order
};

// True when `path` names the root of a registered anchor or something below
// it. The components below keep their "..": climbing above the root is the
// resolver's to refuse. A path that reaches a root only once its ".." are
// resolved as text counts too, with the components of that form. The
// longest matching root wins.
bool FindAnchor(std::string_view path, Anchor* anchor);
// The registered root that `root` (a registered root, as FindAnchor names
// it) lies strictly below, the longest one, with the components between:
// such a root is reached from that one's descriptor, never by its path.
bool FindEnclosingAnchor(const std::string& root, Anchor* anchor);

// The components of a path ("\" and "/" both delimiters, "." and empty ones
// dropped); `absolute` tells whether it started with a delimiter.
std::vector<std::string> SplitComponents(std::string_view path, bool* absolute = nullptr);

// Each twin's: a root is no longer anchored (its cached state goes).
void ForgetRoot(const std::string& root);

// Changes with every registration and end of a root: what was resolved
// under one set of roots is not reused under another.
uint64_t RootsGeneration();
// True when a registered root lies strictly below the folder `path`: paths
// below that folder are then not all resolved the same way.
bool HasRootBelow(std::string_view path);

}  // namespace slv2::fs::detail
