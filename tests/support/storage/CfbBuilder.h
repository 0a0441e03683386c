// Hand-made compound files for the engine's tests: entries with any links,
// colours and name-length fields, laid out by an independent writer, so that
// tests can give the engine the odd shapes other writers produce and damage
// them at known places.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace slv2::cfb::test {

constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr uint32_t kEnd = 0xFFFFFFFE;

class CfbBuilder {
 public:
  struct Entry {
    std::u16string name;
    uint8_t type = 2;  // 1 storage, 2 stream, 5 root
    uint8_t color = 1;
    uint32_t left = kNone;
    uint32_t right = kNone;
    uint32_t child = kNone;
    std::string data = {};
    int nameLengthField = -1;  // -1: the right value
  };

  // Version 3 (512-byte sectors) or 4 (4096-byte sectors).
  explicit CfbBuilder(int version = 3);

  Entry& operator[](uint32_t id) { return entries_[id]; }
  uint32_t Add(Entry entry);
  uint32_t AddStream(std::u16string name, std::string data) {
    return Add({.name = std::move(name), .data = std::move(data)});
  }
  uint32_t AddStorage(std::u16string name) { return Add({.name = std::move(name), .type = 1}); }
  // Links children as a right-leaning list in the given order, every node
  // given `color`.
  void LinkAsList(uint32_t parent, const std::vector<uint32_t>& children, uint8_t color);

  // FAT sectors beyond what the file needs (a FAT that maps far more than the
  // file holds); past 109 of them the DIFAT continues in DIFAT sectors, the
  // last ending in FREESECT as some writers leave it.
  int extraFatSectors = 0;

  std::string Build();

  // Where things are in the last Build().
  uint64_t EntryOffset(uint32_t id) const;
  uint64_t FatEntryOffset(uint32_t sector) const;
  // The first sector (regular) or mini sector of an entry's data.
  uint32_t FirstSector(uint32_t id) const { return starts_[id]; }
  uint64_t SectorOffset(uint32_t sector) const { return (uint64_t{sector} + 1) * sectorSize_; }

 private:
  uint32_t sectorSize_;
  int version_;
  std::vector<Entry> entries_;
  std::vector<uint32_t> starts_;
  std::vector<uint32_t> fatSectors_;
  std::vector<uint32_t> difatSectors_;
  uint32_t dirStart_ = 0;
};

// Little-endian patching of built files.
void Put32(std::string& file, uint64_t offset, uint32_t value);

}  // namespace slv2::cfb::test
