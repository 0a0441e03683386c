// A release as the publisher lays it out: the files of its "product" part,
// installed into the product folder, and of its "solvane" part, installed
// into the family shell folder. Files are matched by their path relative to
// their part, ignoring case, as the storage and the updater's file layer
// match names.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "sys/FileLayer.h"

namespace slv2::publish {

enum TReleasePart { kProductPart, kShellPart };
// The folder names of the parts, in a release and below "files" in a storage.
inline constexpr std::array<const char*, 2> kPartNames = {"product", "solvane"};

struct TReleaseFile {
  std::string path;      // relative to the part, "/" between names, as found
  std::string fullPath;  // where it is on disk
  uint64_t size = 0;
};

// The files of one folder tree, keyed by their upper-cased relative path.
using TFileTree = std::map<std::string, TReleaseFile>;

// The key of a relative path in a TFileTree.
std::string FileKey(const std::string& path);

// Every file below the folder; a missing folder gives an empty tree. Raises
// EPublishError for a folder that cannot be listed, a link (to a folder or
// a file), and two names that differ only in case.
TFileTree ReadFileTree(const std::string& folder);
// Raises EPublishError naming the entry at `full` when it is a link: what a
// link leads to is not the release's, and packing it could publish any
// file of the publisher's machine.
void RefuseLink(const fs::FindData& entry, const std::string& full);

struct TRelease {
  std::array<TFileTree, 2> parts;
};

// Reads both parts of a release folder, which may hold nothing else.
TRelease ReadRelease(const std::string& folder);

// True when the two files hold the same bytes; raises when one cannot be
// read.
bool SameContent(const std::string& a, const std::string& b);

}  // namespace slv2::publish
