#include "storage/cfb/DirEntry.h"

#include <algorithm>
#include <cstring>

namespace slv2::cfb {

void DirEntry::SetName(std::u16string_view text) {
  name.fill(0);
  nameLength = static_cast<uint8_t>(std::min<size_t>(text.size(), kMaxNameLength));
  std::copy_n(text.begin(), nameLength, name.begin());
}

DirEntry DirEntry::Parse(const uint8_t* raw, bool version3) {
  DirEntry e;
  for (size_t i = 0; i < e.name.size(); ++i) {
    e.name[i] = static_cast<char16_t>(Load16(raw + 2 * i));
    if (e.name[i] == 0) break;
    e.nameLength = static_cast<uint8_t>(i + 1);
  }
  e.type = raw[66];
  e.color = raw[67];
  e.left = Load32(raw + 68);
  e.right = Load32(raw + 72);
  e.child = Load32(raw + 76);
  std::memcpy(e.clsid, raw + 80, sizeof e.clsid);
  e.stateBits = Load32(raw + 96);
  e.ctime = Load64(raw + 100);
  e.mtime = Load64(raw + 108);
  e.start = Load32(raw + 116);
  e.size = version3 ? Load32(raw + 120) : Load64(raw + 120);
  return e;
}

void DirEntry::Serialize(uint8_t* raw) const {
  std::memset(raw, 0, kDirEntryBytes);
  if (type != kTypeUnused) {
    for (size_t i = 0; i < nameLength; ++i)
      Store16(raw + 2 * i, name[i]);
    Store16(raw + 64, static_cast<uint16_t>(2 * (nameLength + 1)));
  }
  raw[66] = type;
  raw[67] = color;
  Store32(raw + 68, left);
  Store32(raw + 72, right);
  Store32(raw + 76, child);
  std::memcpy(raw + 80, clsid, sizeof clsid);
  Store32(raw + 96, stateBits);
  Store64(raw + 100, ctime);
  Store64(raw + 108, mtime);
  Store32(raw + 116, start);
  Store64(raw + 120, size);
}

}  // namespace slv2::cfb
