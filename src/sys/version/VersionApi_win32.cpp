// Windows twin of the version resources: version.dll.
#include "sys/WindowsApi.h"
#include "sys/version/VersionApi.h"

namespace slv2::ver {

bool GetFileVersionInfo(std::string_view fileName, std::string* resource) {
  std::string name(fileName);
  DWORD handle = 0;
  DWORD size = ::GetFileVersionInfoSizeA(name.c_str(), &handle);
  if (size == 0) return false;
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
