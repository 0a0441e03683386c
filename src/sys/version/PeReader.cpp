#include "sys/version/PeReader.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace slv2::pe {
namespace {

constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kVersionResourceName = 1;
constexpr uint32_t kSubdirectoryBit = 0x80000000;
constexpr size_t kMaxVersionResource = 65536;
constexpr size_t kSectionHeaderSize = 40;

uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t U32(const uint8_t* p) {
  return U16(p) | static_cast<uint32_t>(U16(p + 2)) << 16;
}

struct Section {
  uint32_t virtualAddress, virtualSize, rawSize, rawPointer;
};

class Image {
 public:
  explicit Image(ByteSource& file) : file_(file), size_(file.Size()) {}

  bool Read(uint64_t offset, size_t count, std::vector<uint8_t>* out) {
    if (offset > size_ || count > size_ - offset) return false;
    out->resize(count);
    return count == 0 || file_.ReadAt(offset, out->data(), count);
  }

  // Reads the headers; false when the file is not a PE image or has no
  // resource directory.
  bool Load() {
    std::vector<uint8_t> b;
    if (!Read(0, 64, &b) || b[0] != 'M' || b[1] != 'Z') return false;
    uint64_t pe = U32(&b[0x3C]);
    if (!Read(pe, 24, &b) || std::memcmp(b.data(), "PE\0\0", 4) != 0) return false;
    uint16_t sectionCount = U16(&b[6]);
    uint16_t optionalSize = U16(&b[20]);
    uint64_t optional = pe + 24;
    if (!Read(optional, optionalSize, &b) || optionalSize < 2) return false;
    size_t countAt, directoriesAt;
    switch (U16(&b[0])) {
      case 0x10B:
        countAt = 92, directoriesAt = 96;
        break;  // PE32
      case 0x20B:
        countAt = 108, directoriesAt = 112;
        break;  // PE32+
      default:
        return false;
    }
    // The resource directory is the third data directory.
    size_t resourceAt = directoriesAt + 2 * 8;
    if (optionalSize < resourceAt + 8 || U32(&b[countAt]) < 3) return false;
    resourceRva_ = U32(&b[resourceAt]);
    if (resourceRva_ == 0) return false;
    if (!Read(optional + optionalSize, size_t{sectionCount} * kSectionHeaderSize, &b)) return false;
    for (size_t i = 0; i < sectionCount; ++i) {
      const uint8_t* s = &b[i * kSectionHeaderSize];
      sections_.push_back({U32(s + 12), U32(s + 8), U32(s + 16), U32(s + 20)});
    }
    return true;
  }

  // `count` bytes at a virtual address, from the raw data of the section that
  // holds it.
  bool ReadRva(uint64_t rva, size_t count, std::vector<uint8_t>* out) {
    for (const Section& s : sections_) {
      uint64_t extent = std::max(s.virtualSize, s.rawSize);
      if (rva < s.virtualAddress || rva >= s.virtualAddress + extent) continue;
      uint64_t within = rva - s.virtualAddress;
      if (within + count > s.rawSize) return false;
      return Read(s.rawPointer + within, count, out);
    }
    return false;
  }

  // The target of the directory entry for `id` (kFirst: the first entry) in
  // the directory at `offset` of the resource data; kSubdirectoryBit marks a
  // directory.
  static constexpr uint32_t kFirst = 0xFFFFFFFF;
  bool FindEntry(uint32_t offset, uint32_t id, uint32_t* target) {
    std::vector<uint8_t> b;
    if (!ReadRva(uint64_t{resourceRva_} + offset, 16, &b)) return false;
    size_t count = size_t{U16(&b[12])} + U16(&b[14]);
    if (!ReadRva(uint64_t{resourceRva_} + offset + 16, count * 8, &b)) return false;
    for (size_t i = 0; i < count; ++i) {
      if (id != kFirst && U32(&b[i * 8]) != id) continue;
      *target = U32(&b[i * 8 + 4]);
      return true;
    }
    return false;
  }

  uint32_t ResourceRva() const { return resourceRva_; }

 private:
  ByteSource& file_;
  uint64_t size_;
  uint32_t resourceRva_ = 0;
  std::vector<Section> sections_;
};

}  // namespace

bool MemorySource::ReadAt(uint64_t offset, void* buffer, size_t count) {
  if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
  std::memcpy(buffer, bytes_.data() + offset, count);
  return true;
}

bool FindVersionResource(ByteSource& file, std::string* resource) {
  Image image(file);
  if (!image.Load()) return false;
  // Three levels: type, name, language. A directory that names one already
  // walked would be a loop.
  std::vector<uint32_t> walked{0};
  uint32_t target = 0;
  for (uint32_t id : {kRtVersion, kVersionResourceName}) {
    if (!image.FindEntry(walked.back(), id, &target) || !(target & kSubdirectoryBit)) return false;
    target &= ~kSubdirectoryBit;
    for (uint32_t seen : walked) {
      if (seen == target) return false;
    }
    walked.push_back(target);
  }
  if (!image.FindEntry(walked.back(), Image::kFirst, &target) || (target & kSubdirectoryBit)) {
    return false;
  }
  std::vector<uint8_t> entry;
  if (!image.ReadRva(uint64_t{image.ResourceRva()} + target, 16, &entry)) return false;
  size_t size = std::min<size_t>(U32(&entry[4]), kMaxVersionResource);
  std::vector<uint8_t> data;
  if (!image.ReadRva(U32(&entry[0]), size, &data)) return false;
  resource->assign(data.begin(), data.end());
  return true;
}

bool VersionRootValue(std::string_view resource, std::string_view* value) {
  auto bytes = reinterpret_cast<const uint8_t*>(resource.data());
  if (resource.size() < 6) return false;
  size_t length = U16(bytes), valueLength = U16(bytes + 2);
  if (length < 6 || length > resource.size()) return false;
  // The key, a zero-terminated UTF-16 text, then padding to four bytes.
  size_t at = 6;
  while (at + 2 <= length && U16(bytes + at) != 0)
    at += 2;
  if (at + 2 > length) return false;
  at = (at + 2 + 3) & ~size_t{3};
  if (at > length || valueLength > length - at) return false;
  *value = resource.substr(at, valueLength);
  return true;
}

}  // namespace slv2::pe
