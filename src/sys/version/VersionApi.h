// The platform's file version resources (version.dll on Windows; on Linux the
// portable PE reader of PeReader.h). File names are program text.
#pragma once

#include <string>
#include <string_view>

namespace slv2::fs {
class FileHandle;
}

namespace slv2::ver {

// The file's version resource (GetFileVersionInfoSizeA and
// GetFileVersionInfoA): false when the file has none (fs::LastError() is then
// kErrorResourceTypeNotFound) or cannot be opened or read (another code).
bool GetFileVersionInfo(std::string_view fileName, std::string* resource);
// The same for a file open for reading, read with the portable PE reader on
// every platform (version.dll reads named files only): a file this process
// is still writing needs neither a name nor another opening.
bool GetFileVersionInfo(fs::FileHandle& file, std::string* resource);

// The root block of a version resource (VerQueryValueA with "\"): the fixed
// version block, of whatever length the resource gives it; false when missing.
bool QueryRootBlock(const std::string& resource, std::string_view* block);

}  // namespace slv2::ver
