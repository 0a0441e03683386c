// One 128-byte directory entry: an element's name, type, tree links, class,
// times, first sector and size.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "storage/cfb/Format.h"

namespace slv2::cfb {

struct DirEntry {
  std::array<char16_t, 32> name{};
  uint8_t nameLength = 0;  // UTF-16 units before the terminating zero
  uint8_t type = kTypeUnused;
  uint8_t color = kRed;
  uint32_t left = kNoStream;
  uint32_t right = kNoStream;
  uint32_t child = kNoStream;
  uint8_t clsid[16] = {};
  uint32_t stateBits = 0;
  uint64_t ctime = 0;
  uint64_t mtime = 0;
  uint32_t start = 0;
  uint64_t size = 0;

  std::u16string_view Name() const { return {name.data(), nameLength}; }
  // At most 31 units; the caller has checked the name.
  void SetName(std::u16string_view text);

  // The name is the units before the first zero of the 64-byte field; the
  // length field is not trusted, since renaming writers leave it stale. In
  // version 3 files the high half of the size is ignored (writers leave junk
  // there).
  static DirEntry Parse(const uint8_t* raw, bool version3);
  void Serialize(uint8_t* raw) const;
};

}  // namespace slv2::cfb
