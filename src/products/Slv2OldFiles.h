// The listing the clean-up steps of the subject updaters share: the files a
// mask names, folders left out.
#pragma once

#include <string>
#include <vector>

namespace slv2 {

// The full names of the files (not folders, nor "." and "..") matching the
// mask, in listing order: those of the mask's folder first, then, when
// recursive, those of each level of sub-folders.
std::vector<std::string> ListFilesByMask(const std::string& mask, bool recursive);

}  // namespace slv2
