// Linux twin of the version resources: the PE reader over the file layer.
#include <string>

#include "sys/FileLayer.h"
#include "sys/version/PeReader.h"
#include "sys/version/VersionApi.h"

namespace slv2::ver {

bool GetFileVersionInfo(std::string_view fileName, std::string* resource) {
  fs::FileHandle file = fs::FileHandle::Open(fileName, fs::kGenericRead,
                                             fs::kShareRead | fs::kShareWrite, fs::kOpenExisting);
  return file.Valid() && GetFileVersionInfo(file, resource);
}

bool QueryRootBlock(const std::string& resource, std::string_view* block) {
  return pe::VersionRootValue(resource, block);
}

}  // namespace slv2::ver
