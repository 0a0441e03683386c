#include "CfbBuilder.h"

namespace slv2::cfb::test {

namespace {
constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kFatMark = 0xFFFFFFFD;
constexpr uint32_t kDifatMark = 0xFFFFFFFC;
constexpr uint32_t kCutoff = 4096;

uint32_t Ceil(uint64_t a, uint64_t b) {
  return static_cast<uint32_t>((a + b - 1) / b);
}
}  // namespace

void Put32(std::string& file, uint64_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    file[offset + i] = static_cast<char>(value >> (8 * i));
}

CfbBuilder::CfbBuilder(int version) : sectorSize_(version == 3 ? 512 : 4096), version_(version) {
  Add({.name = u"Root Entry", .type = 5});
}

uint32_t CfbBuilder::Add(Entry entry) {
  entries_.push_back(std::move(entry));
  return static_cast<uint32_t>(entries_.size() - 1);
}

void CfbBuilder::LinkAsList(uint32_t parent, const std::vector<uint32_t>& children, uint8_t color) {
  entries_[parent].child = children.empty() ? kNone : children[0];
  for (size_t i = 0; i < children.size(); ++i) {
    Entry& e = entries_[children[i]];
    e.left = kNone;
    e.right = i + 1 < children.size() ? children[i + 1] : kNone;
    e.color = color;
  }
}

uint64_t CfbBuilder::EntryOffset(uint32_t id) const {
  uint32_t perSector = sectorSize_ / 128;
  return SectorOffset(dirStart_ + id / perSector) + (id % perSector) * 128;
}

uint64_t CfbBuilder::FatEntryOffset(uint32_t sector) const {
  uint32_t per = sectorSize_ / 4;
  return SectorOffset(fatSectors_[sector / per]) + (sector % per) * 4;
}

std::string CfbBuilder::Build() {
  uint32_t ss = sectorSize_, per = ss / 4;
  size_t n = entries_.size();
  starts_.assign(n, 0);
  // Mini sectors first, in entry order.
  uint32_t miniSectors = 0;
  std::vector<uint32_t> miniCount(n, 0), regularCount(n, 0);
  for (size_t i = 1; i < n; ++i) {
    const Entry& e = entries_[i];
    if (e.type != 2 || e.data.empty()) continue;
    if (e.data.size() < kCutoff) {
      starts_[i] = miniSectors;
      miniCount[i] = Ceil(e.data.size(), 64);
      miniSectors += miniCount[i];
    } else {
      regularCount[i] = Ceil(e.data.size(), ss);
    }
  }
  uint32_t dirSectors = Ceil(n, ss / 128);
  uint32_t miniFatSectors = Ceil(miniSectors, per);
  uint32_t containerSectors = Ceil(uint64_t{miniSectors} * 64, ss);
  uint32_t data = dirSectors + miniFatSectors + containerSectors;
  for (uint32_t c : regularCount)
    data += c;
  auto difatFor = [&](uint32_t fat) { return fat > 109 ? Ceil(fat - 109, per - 1) : 0; };
  uint32_t fatCount = 1;
  while (uint64_t{fatCount} * per < fatCount + difatFor(fatCount) + data)
    ++fatCount;
  fatCount += extraFatSectors;
  uint32_t difatCount = difatFor(fatCount);

  // Sectors in order: FAT, DIFAT, directory, mini FAT, mini stream, streams.
  std::vector<uint32_t> fat(uint64_t{fatCount} * per, kFree);
  uint32_t next = 0;
  auto chain = [&](uint32_t count) {
    uint32_t first = next;
    for (uint32_t i = 0; i < count; ++i)
      fat[next + i] = i + 1 < count ? next + i + 1 : kEnd;
    next += count;
    return count ? first : kEnd;
  };
  fatSectors_.clear();
  for (uint32_t i = 0; i < fatCount; ++i) {
    fatSectors_.push_back(next);
    fat[next++] = kFatMark;
  }
  difatSectors_.clear();
  for (uint32_t i = 0; i < difatCount; ++i) {
    difatSectors_.push_back(next);
    fat[next++] = kDifatMark;
  }
  dirStart_ = chain(dirSectors);
  uint32_t miniFatStart = chain(miniFatSectors);
  uint32_t containerStart = chain(containerSectors);
  for (size_t i = 1; i < n; ++i) {
    if (regularCount[i]) starts_[i] = chain(regularCount[i]);
  }
  std::vector<uint32_t> miniFat(uint64_t{miniFatSectors} * per, kFree);
  for (size_t i = 1; i < n; ++i) {
    for (uint32_t k = 0; k < miniCount[i]; ++k)
      miniFat[starts_[i] + k] = k + 1 < miniCount[i] ? starts_[i] + k + 1 : kEnd;
  }

  std::string file((uint64_t{next} + 1) * ss, '\0');  // the header takes a whole sector
  file.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  auto put16 = [&](uint64_t at, uint16_t v) {
    file[at] = static_cast<char>(v);
    file[at + 1] = static_cast<char>(v >> 8);
  };
  put16(24, 0x3E);
  put16(26, static_cast<uint16_t>(version_));
  put16(28, 0xFFFE);
  put16(30, version_ == 3 ? 9 : 12);
  put16(32, 6);
  Put32(file, 40, version_ == 3 ? 0 : dirSectors);
  Put32(file, 44, fatCount);
  Put32(file, 48, dirStart_);
  Put32(file, 56, kCutoff);
  Put32(file, 60, miniFatSectors ? miniFatStart : kEnd);
  Put32(file, 64, miniFatSectors);
  Put32(file, 68, difatCount ? difatSectors_[0] : kEnd);
  Put32(file, 72, difatCount);
  for (uint32_t i = 0; i < 109; ++i)
    Put32(file, 76 + 4 * i, i < fatCount ? fatSectors_[i] : kFree);
  for (uint32_t d = 0; d < difatCount; ++d) {
    uint64_t at = SectorOffset(difatSectors_[d]);
    for (uint32_t i = 0; i < per - 1; ++i) {
      size_t index = 109 + size_t{d} * (per - 1) + i;
      Put32(file, at + 4 * i, index < fatCount ? fatSectors_[index] : kFree);
    }
    Put32(file, at + 4 * (per - 1), d + 1 < difatCount ? difatSectors_[d + 1] : kFree);
  }
  for (size_t i = 0; i < fat.size(); ++i)
    Put32(file, FatEntryOffset(static_cast<uint32_t>(i)), fat[i]);
  for (size_t i = 0; i < miniFat.size(); ++i)
    Put32(file, SectorOffset(miniFatStart + static_cast<uint32_t>(i / per)) + 4 * (i % per),
          miniFat[i]);

  for (size_t i = 0; i < n; ++i) {
    const Entry& e = entries_[i];
    uint64_t at = EntryOffset(static_cast<uint32_t>(i));
    for (size_t k = 0; k < e.name.size() && k < 32; ++k)
      put16(at + 2 * k, e.name[k]);
    int lengthField =
        e.nameLengthField >= 0 ? e.nameLengthField : static_cast<int>(2 * (e.name.size() + 1));
    put16(at + 64, static_cast<uint16_t>(lengthField));
    file[at + 66] = static_cast<char>(e.type);
    file[at + 67] = static_cast<char>(e.color);
    Put32(file, at + 68, e.left);
    Put32(file, at + 72, e.right);
    Put32(file, at + 76, e.child);
    uint64_t size = e.type == 5 ? uint64_t{miniSectors} * 64 : e.data.size();
    uint32_t start = e.type == 5 ? containerStart : (e.type == 2 && size ? starts_[i] : kEnd);
    Put32(file, at + 116, start);
    Put32(file, at + 120, static_cast<uint32_t>(size));
    Put32(file, at + 124, static_cast<uint32_t>(size >> 32));
    if (e.type != 2 || e.data.empty()) continue;
    if (e.data.size() < kCutoff) {
      uint64_t inContainer = uint64_t{starts_[i]} * 64;
      for (size_t k = 0; k < e.data.size(); ++k) {
        uint64_t pos = inContainer + k;
        file[SectorOffset(containerStart + static_cast<uint32_t>(pos / ss)) + pos % ss] = e.data[k];
      }
    } else {
      file.replace(SectorOffset(starts_[i]), e.data.size(), e.data);
    }
  }
  return file;
}

}  // namespace slv2::cfb::test
