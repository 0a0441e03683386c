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
#include <vector>

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

// What may not go into an update is found while a tree is read, every
// offender at once, each a line "<path>: <why>" naming it where the
// publisher has it: a name Windows-1251 or Windows cannot hold, a link (or
// with followLinks one leading outside the release, to nothing, or to a
// folder above it), a FIFO, device or socket, two names that differ only in
// case. Offenders are left out of the tree.
struct TTreeReading {
  bool followLinks = false;  // a link to a file or folder inside `within` is read as its target
  std::string within;        // the release folder
  std::vector<std::string> problems;
};

// Every file below the folder; a missing folder gives an empty tree. Raises
// EPublishError for a folder that cannot be listed.
TFileTree ReadFileTree(const std::string& folder, TTreeReading& reading);
// The same, raising EPublishError that lists every offender.
TFileTree ReadFileTree(const std::string& folder);

struct TRelease {
  std::array<TFileTree, 2> parts;
};

// Reads both parts of a release folder, which may hold nothing else (an
// offender too).
TRelease ReadRelease(const std::string& folder, TTreeReading& reading);
// The same, raising EPublishError that lists every offender.
TRelease ReadRelease(const std::string& folder, bool followLinks = false);

// Raises EPublishError with the offenders, one a line, when there are any.
void ThrowProblems(const std::vector<std::string>& problems);

// True when the two files hold the same bytes; raises when one cannot be
// read.
bool SameContent(const std::string& a, const std::string& b);

}  // namespace slv2::publish
