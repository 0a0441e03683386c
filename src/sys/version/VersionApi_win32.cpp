// Windows twin of the version resources: version.dll.
#include "sys/WindowsApi.h"
#include "sys/version/VersionApi.h"

namespace slv2::ver {

namespace {

// version.dll names "this file has no version" in several ways, depending on
// whether the file is an image at all and what it lacks; all of them mean
// the same to the callers, unlike a file that cannot be opened or read.
bool NoVersion(DWORD error) {
  switch (error) {
    case ERROR_RESOURCE_DATA_NOT_FOUND:
    case ERROR_RESOURCE_TYPE_NOT_FOUND:
    case ERROR_RESOURCE_NAME_NOT_FOUND:
    case ERROR_RESOURCE_LANG_NOT_FOUND:
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_BAD_FORMAT:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool GetFileVersionInfo(std::string_view fileName, std::string* resource) {
  std::string name(fileName);
  DWORD handle = 0;
  DWORD size = ::GetFileVersionInfoSizeA(name.c_str(), &handle);
  if (size == 0) {
    if (NoVersion(::GetLastError())) ::SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return false;
  }
  std::string buffer(size, '\0');
  if (!::GetFileVersionInfoA(name.c_str(), 0, size, buffer.data())) return false;
  *resource = std::move(buffer);
  return true;
}

bool QueryRootBlock(const std::string& resource, std::string_view* block) {
  void* value = nullptr;
  UINT length = 0;
  // VerQueryValueA only reads the buffer for the root block.
  if (!::VerQueryValueA(resource.data(), "\\", &value, &length) || !value) return false;
  *block = std::string_view(static_cast<const char*>(value), length);
  return true;
}

}  // namespace slv2::ver
