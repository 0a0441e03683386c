#include "sys/version/VerInfo.h"

#include <string>

#include "sys/FileLayer.h"
#include "sys/WinError.h"
#include "sys/version/PeReader.h"
#include "sys/version/VersionApi.h"

namespace slv2 {

namespace {

enum class TVersion { Found, None, Unreadable };

// The fixed block of the resource that `read` fetched, found by `query`.
template <typename Query>
TVersion FixedFileInfoOf(bool read, const std::string& resource, Query query,
                         VsFixedFileInfo& info) {
  std::string_view block;
  if (!read) {
    return fs::LastError() == kErrorResourceTypeNotFound ? TVersion::None : TVersion::Unreadable;
  }
  if (!query(resource, &block) || block.size() != sizeof(VsFixedFileInfo)) return TVersion::None;
  // The block is little-endian, whatever the host.
  uint32_t fields[sizeof(VsFixedFileInfo) / 4];
  for (size_t i = 0; i < std::size(fields); ++i) {
    fields[i] = 0;
    for (size_t b = 0; b < 4; ++b) {
      fields[i] |= uint32_t{static_cast<uint8_t>(block[i * 4 + b])} << 8 * b;
    }
  }
  info = {fields[0], fields[1], fields[2], fields[3],  fields[4],  fields[5], fields[6],
          fields[7], fields[8], fields[9], fields[10], fields[11], fields[12]};
  return TVersion::Found;
}

TVersion ReadFixedFileInfo(std::string_view fileName, VsFixedFileInfo& info) {
  std::string resource;
  return FixedFileInfoOf(ver::GetFileVersionInfo(fileName, &resource), resource,
                         ver::QueryRootBlock, info);
}

bool Read(TVersion read, FileVersion& version) {
  version.found = read == TVersion::Found;
  return read != TVersion::Unreadable;
}

}  // namespace

bool GetFixedFileInfo(std::string_view fileName, VsFixedFileInfo& info) {
  return ReadFixedFileInfo(fileName, info) == TVersion::Found;
}

void GetFileVersionParts(const VsFixedFileInfo& info, uint16_t& major, uint16_t& minor,
                         uint16_t& release, uint16_t& build) {
  major = static_cast<uint16_t>(info.dwFileVersionMS >> 16);
  minor = static_cast<uint16_t>(info.dwFileVersionMS);
  release = static_cast<uint16_t>(info.dwFileVersionLS >> 16);
  build = static_cast<uint16_t>(info.dwFileVersionLS);
}

int CompareFixedFileInfo(const VsFixedFileInfo& info1, const VsFixedFileInfo& info2) {
  uint16_t a[4], b[4];
  GetFileVersionParts(info1, a[0], a[1], a[2], a[3]);
  GetFileVersionParts(info2, b[0], b[1], b[2], b[3]);
  for (int i = 0; i < 4; ++i) {
    if (a[i] != b[i]) return int{a[i]} - int{b[i]};
  }
  return 0;
}

int CompareFileVersions(std::string_view fileName1, std::string_view fileName2) {
  // An unreadable file counts as one without a version block.
  FileVersion version1, version2;
  ReadFileVersion(fileName1, version1);
  ReadFileVersion(fileName2, version2);
  return CompareFileVersions(version1, version2);
}

bool ReadFileVersion(std::string_view fileName, FileVersion& version) {
  return Read(ReadFixedFileInfo(fileName, version.info), version);
}

bool ReadFileVersion(fs::FileHandle& file, FileVersion& version) {
  std::string resource;
  // Read by the portable reader, whose resource the platform's query may
  // not take.
  bool read = ver::GetFileVersionInfo(file, &resource);
  return Read(FixedFileInfoOf(read, resource, pe::VersionRootValue, version.info), version);
}

int CompareFileVersions(const FileVersion& version1, const FileVersion& version2) {
  if (version1.found && version2.found) return CompareFixedFileInfo(version1.info, version2.info);
  return version1.found ? 1 : version2.found ? -1 : 0;
}

bool CompareFileVersionsChecked(std::string_view fileName1, std::string_view fileName2,
                                int& result) {
  FileVersion version1, version2;
  if (!ReadFileVersion(fileName1, version1) || !ReadFileVersion(fileName2, version2)) return false;
  result = CompareFileVersions(version1, version2);
  return true;
}

}  // namespace slv2
