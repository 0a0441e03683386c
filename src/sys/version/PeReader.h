// A portable reader of the version resource of Windows executables (PE32 and
// PE32+ images: DOS header, PE header, section table, resource directory).
// Every offset and size is checked against the file before it is used, the
// work is bounded by the file's own counts, and a resource directory that
// points back into itself is refused, so a damaged or hostile file gives
// "no version resource" and nothing worse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace slv2::pe {

// Random access to a file's bytes.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() = 0;
  // Exactly `count` bytes at `offset`, or false.
  virtual bool ReadAt(uint64_t offset, void* buffer, size_t count) = 0;
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  uint64_t Size() override { return bytes_.size(); }
  bool ReadAt(uint64_t offset, void* buffer, size_t count) override;

 private:
  std::string_view bytes_;
};

// The data of the image's version resource (type RT_VERSION, name 1, the
// first language listed: languages are sorted, so the neutral one when there
// is one), at most 64 KiB of it (a version block cannot be longer). False when the file is not a PE
// image or has no such resource.
bool FindVersionResource(ByteSource& file, std::string* resource);

// The value of a version resource's root block (VS_VERSIONINFO), which is the
// fixed version block: what the platform's query of "\" gives. False when the
// block's lengths do not fit the data.
bool VersionRootValue(std::string_view resource, std::string_view* value);

}  // namespace slv2::pe
