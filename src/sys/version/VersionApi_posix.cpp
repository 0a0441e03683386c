// Linux twin of the version resources: the PE reader over the file layer.
#include "sys/FileLayer.h"
#include "sys/version/PeReader.h"
#include "sys/version/VersionApi.h"

namespace slv2::ver {
namespace {

class FileSource : public pe::ByteSource {
 public:
  explicit FileSource(fs::FileHandle& file) : file_(file) {}
  uint64_t Size() override {
    int64_t size = file_.Size();
    return size < 0 ? 0 : static_cast<uint64_t>(size);
  }
  bool ReadAt(uint64_t offset, void* buffer, size_t count) override {
    size_t done = 0;
    return file_.ReadAt(offset, buffer, count, &done) && done == count;
  }

 private:
  fs::FileHandle& file_;
};

}  // namespace

bool GetFileVersionInfo(std::string_view fileName, std::string* resource) {
  fs::FileHandle file = fs::FileHandle::Open(fileName, fs::kGenericRead,
                                             fs::kShareRead | fs::kShareWrite, fs::kOpenExisting);
  if (!file.Valid()) return false;
  FileSource source(file);
  return pe::FindVersionResource(source, resource);
}

bool QueryRootBlock(const std::string& resource, std::string_view* block) {
  return pe::VersionRootValue(resource, block);
}

}  // namespace slv2::ver
