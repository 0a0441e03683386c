#include "storage/cfb/SectorFile.h"

#include <algorithm>
#include <cstring>

#include "storage/cfb/Error.h"
#include "storage/cfb/Format.h"

namespace slv2::cfb {

SectorFile::SectorFile(LockBytes& bytes, uint32_t sectorShift, bool writable)
    : bytes_(bytes), shift_(sectorShift), physical_(bytes.Size()) {
  uint64_t sectorSize = uint64_t{1} << shift_;
  uint64_t sectors = physical_ <= sectorSize ? 0 : (physical_ - 1) / sectorSize;
  sectorsAtOpen_ = static_cast<uint32_t>(std::min<uint64_t>(sectors, kMaxRegSect + uint64_t{1}));
  zerosFrom_ = writable ? physical_ : Offset(sectorsAtOpen_, 0);
  dataEnd_ = physical_;
}

void SectorFile::Read(uint32_t sector, uint32_t offset, void* buffer, size_t count) {
  uint64_t begin = Offset(sector, offset);
  uint64_t end = begin + count;
  size_t held = begin >= physical_ ? 0 : static_cast<size_t>(std::min(end, physical_) - begin);
  if (held > 0 && bytes_.ReadAt(begin, buffer, held) != held) Corrupt("the file ends early");
  if (held < count) {
    if (begin + held < zerosFrom_) Corrupt("data beyond the end of the file");
    std::memset(static_cast<uint8_t*>(buffer) + held, 0, count - held);
  }
}

void SectorFile::Write(uint32_t sector, uint32_t offset, const void* buffer, size_t count) {
  WriteStructure(sector, offset, buffer, count);
  dataEnd_ = std::max(dataEnd_, Offset(sector, offset) + count);
}

void SectorFile::WriteStructure(uint32_t sector, uint32_t offset, const void* buffer,
                                size_t count) {
  uint64_t begin = Offset(sector, offset);
  bytes_.WriteAt(begin, buffer, count);
  physical_ = std::max(physical_, begin + count);
}

void SectorFile::Zero(uint32_t sector, uint32_t offset, size_t count) {
  static const uint8_t zeros[4096] = {};
  uint64_t begin = Offset(sector, offset);
  uint64_t end = std::min(begin + count, dataEnd_);
  for (uint64_t at = begin; at < end;) {
    size_t piece = static_cast<size_t>(std::min<uint64_t>(end - at, sizeof zeros));
    bytes_.WriteAt(at, zeros, piece);
    at += piece;
  }
}

void SectorFile::Cover(uint32_t sectors) {
  uint64_t wanted = Offset(sectors, 0);
  if (physical_ >= wanted) return;
  bytes_.SetSize(wanted);
  physical_ = wanted;
}

void SectorFile::ReadHeader(uint8_t* raw) {
  if (bytes_.ReadAt(0, raw, kHeaderBytes) != kHeaderBytes)
    Fail(stg::kStgEInvalidHeader, "short header");
}

void SectorFile::WriteHeader(const uint8_t* raw) {
  bytes_.WriteAt(0, raw, kHeaderBytes);
  physical_ = std::max<uint64_t>(physical_, kHeaderBytes);
}

}  // namespace slv2::cfb
