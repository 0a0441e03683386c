// What the clean-up steps of the subject updaters share: the files a mask
// names, folders left out, and their deletion.
#pragma once

#include <string>
#include <vector>

namespace slv2 {

class TSlv2Updater;

// The full names of the files (not folders, nor "." and "..") matching the
// mask, in listing order: those of the mask's folder first, then, when
// recursive, those of each level of sub-folders.
std::vector<std::string> ListFilesByMask(const std::string& mask, bool recursive);

// Deletes the file and records it (in a dry run: only records it); true when
// it went or would go.
bool DeleteOldFile(TSlv2Updater& updater, const std::string& file);

}  // namespace slv2
