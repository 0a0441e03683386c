// File version stamps: the fixed version block of an executable's version
// resource, its four-part file version, and the comparison the updater uses
// to keep an installed file that is newer than the incoming one.
#pragma once

#include <cstdint>
#include <string_view>

namespace slv2 {

namespace fs {
class FileHandle;
}

// The platform's fixed version block (52 bytes); only the file version
// fields are read by the comparisons.
struct VsFixedFileInfo {
  uint32_t dwSignature;
  uint32_t dwStrucVersion;
  uint32_t dwFileVersionMS;
  uint32_t dwFileVersionLS;
  uint32_t dwProductVersionMS;
  uint32_t dwProductVersionLS;
  uint32_t dwFileFlagsMask;
  uint32_t dwFileFlags;
  uint32_t dwFileOS;
  uint32_t dwFileType;
  uint32_t dwFileSubtype;
  uint32_t dwFileDateMS;
  uint32_t dwFileDateLS;
};
static_assert(sizeof(VsFixedFileInfo) == 52);

// True with `info` filled when the file has a version resource whose root
// block is exactly 52 bytes; otherwise false with `info` unchanged. Never
// raises: an unreadable or damaged file has no version block.
bool GetFixedFileInfo(std::string_view fileName, VsFixedFileInfo& info);

// The file version's parts, most significant first.
void GetFileVersionParts(const VsFixedFileInfo& info, uint16_t& major, uint16_t& minor,
                         uint16_t& release, uint16_t& build);

// 0 when the file versions are equal, positive when the first is newer,
// negative when the second is (the difference of the first parts that differ).
int CompareFixedFileInfo(const VsFixedFileInfo& info1, const VsFixedFileInfo& info2);

// The same for two files; a file with a version block is newer than one
// without, and two files without one count as equal.
int CompareFileVersions(std::string_view fileName1, std::string_view fileName2);
// A file's version block as read once, for comparing and showing it.
struct FileVersion {
  bool found = false;  // false: the file has no version block
  VsFixedFileInfo info{};
};
// False when the file could not be opened or read (fs::LastError() tells
// why), which is not the same as a file without a version block.
bool ReadFileVersion(std::string_view fileName, FileVersion& version);
// The same for a file open for reading (ver::GetFileVersionInfo).
bool ReadFileVersion(fs::FileHandle& file, FileVersion& version);
// CompareFileVersions of versions read.
int CompareFileVersions(const FileVersion& version1, const FileVersion& version2);

// As CompareFileVersions, but false when either file could not be opened or
// read (fs::LastError() tells why): an unreadable file is not one without a
// version, and deciding on it would keep an old file or replace a newer one.
bool CompareFileVersionsChecked(std::string_view fileName1, std::string_view fileName2,
                                int& result);

}  // namespace slv2
