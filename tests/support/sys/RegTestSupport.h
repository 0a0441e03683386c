// Helpers of the registry tests (and what they all include): text values as
// the registry stores them, and keys and values set and read back through the
// registry calls (whole trees: DumpRegKey).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "sys/Cp1251.h"
#include "sys/WinError.h"
#include "sys/registry/RegAnsi.h"
#include "sys/registry/RegApi.h"

namespace slv2::test {

// A terminated text value, and the bytes of a script in the Unicode format.
inline std::string Sz(std::u16string_view text) {
  return reg::StringDataFromUtf16(std::u16string(text) + u'\0');
}
inline std::string UnicodeFile(std::u16string_view text) {
  return "\xFF\xFE" + reg::StringDataFromUtf16(text);
}

// Creates the key (with its path) and sets one value in it.
inline void SetRegValue(reg::HKey root, std::u16string_view key, std::u16string_view name,
                        uint32_t type, std::string_view data) {
  reg::ScopedKey h;
  ASSERT_EQ(reg::CreateKey(root, key, reg::kKeyAllAccess, h.Out()), kErrorSuccess);
  ASSERT_EQ(reg::SetValue(h.Get(), name, type, data), kErrorSuccess);
}

// The value's data, or "<missing>".
inline std::string ReadRegValue(reg::HKey root, std::u16string_view key, std::u16string_view name) {
  reg::ScopedKey h;
  uint32_t type;
  std::string data;
  bool found = reg::OpenKey(root, key, reg::kKeyRead, h.Out()) == kErrorSuccess &&
               reg::QueryValue(h.Get(), name, &type, &data) == kErrorSuccess;
  return found ? data : "<missing>";
}

// The names of a key's subkeys, or of its values, in the registry's order.
inline std::vector<std::u16string> Names(reg::HKey key, bool values = false) {
  std::vector<std::u16string> names;
  std::u16string name;
  uint32_t type;
  std::string data;
  for (uint32_t i = 0; (values ? reg::EnumValue(key, i, &name, &type, &data)
                               : reg::EnumKey(key, i, &name)) == kErrorSuccess;
       ++i) {
    names.push_back(name);
  }
  return names;
}

}  // namespace slv2::test
