// The size of an update storage added up before anything is written, and the
// version of the compound-file format that holds it: version 3 (512-byte
// sectors, read by every implementation) while the storage stays well under
// its 2 GB, version 4 (4,096-byte sectors) beyond. Anything no version holds
// is refused at once, not after gigabytes have been written.
#pragma once

#include <cstdint>
#include <string>

namespace slv2::pack {

class StorageSize {
 public:
  // The largest stream any version holds: 4 GiB - 1.
  static constexpr uint64_t kMaxStream = 0xFFFFFFFF;

  // A stream of `size` bytes, at most kMaxStream; `compressed`: stored
  // through zlib, which may add a little.
  void AddStream(uint64_t size, bool compressed);
  void AddStorage() { ++elements_; }

  // Sectors of 2^shift bytes the storage will take at most: content, the
  // allocation tables, the directory, and what the writer allocates ahead.
  uint64_t Sectors(uint32_t shift) const;
  // 3 or 4; `version4` asks for version 4 whatever the size. Raises Exception
  // naming the size when no version holds it.
  int Version(bool version4) const;

 private:
  uint64_t regular9_ = 0;  // sectors of streams outside the mini stream
  uint64_t regular12_ = 0;
  uint64_t mini_ = 0;  // bytes in the mini stream
  uint64_t elements_ = 0;
};

}  // namespace slv2::pack
