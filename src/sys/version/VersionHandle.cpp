// The version resource of an open file: the portable PE reader over the
// file layer's positioned reads.
#include <algorithm>
#include <cstring>
#include <string>

#include "sys/FileLayer.h"
#include "sys/WinError.h"
#include "sys/version/PeReader.h"
#include "sys/version/VersionApi.h"

namespace slv2::ver {
namespace {

// The reader asks for many small structures, mostly near each other: they
// are served from one cached block instead of a read each.
class FileSource : public pe::ByteSource {
 public:
  explicit FileSource(fs::FileHandle& file) : file_(file) {}
  uint64_t Size() override {
    if (size_ < 0) size_ = std::max<int64_t>(file_.Size(), 0);
    return static_cast<uint64_t>(size_);
  }
  // The error of a read that failed (rather than met the end of the file),
  // or kErrorSuccess.
  uint32_t Error() const { return error_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t count) override {
    if (count > kBlock) {
      size_t done = 0;
      if (!file_.ReadAt(offset, buffer, count, &done)) return Fail();
      return done == count;
    }
    if (offset < blockStart_ || offset + count > blockStart_ + block_.size()) {
      block_.resize(kBlock);
      size_t done = 0;
      if (!file_.ReadAt(offset, block_.data(), kBlock, &done)) return Fail();
      block_.resize(done);
      blockStart_ = offset;
      if (done < count) return false;
    }
    std::memcpy(buffer, block_.data() + (offset - blockStart_), count);
    return true;
  }

 private:
  bool Fail() {
    error_ = fs::LastError() != kErrorSuccess ? fs::LastError() : kErrorReadFault;
    block_.clear();
    return false;
  }

  static constexpr size_t kBlock = 4096;
  fs::FileHandle& file_;
  int64_t size_ = -1;
  std::string block_;
  uint64_t blockStart_ = 0;
  uint32_t error_ = kErrorSuccess;
};

}  // namespace

bool GetFileVersionInfo(fs::FileHandle& file, std::string* resource) {
  FileSource source(file);
  if (pe::FindVersionResource(source, resource)) return true;
  // A read that failed says nothing about the file's version.
  fs::SetLastError(source.Error() != kErrorSuccess ? source.Error() : kErrorResourceTypeNotFound);
  return false;
}

}  // namespace slv2::ver
