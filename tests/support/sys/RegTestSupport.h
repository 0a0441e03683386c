// Helpers of the registry tests (and what they all include): text values as
// the registry stores them, and keys, values and whole trees set and read
// back through the registry calls.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
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

inline std::vector<std::u16string> SubKeyNames(reg::HKey key) {
  std::vector<std::u16string> names;
  std::u16string name;
  for (uint32_t i = 0; reg::EnumKey(key, i, &name) == kErrorSuccess; ++i)
    names.push_back(name);
  return names;
}

inline std::vector<std::u16string> ValueNames(reg::HKey key) {
  std::vector<std::u16string> names;
  std::u16string name;
  uint32_t type;
  std::string data;
  for (uint32_t i = 0; reg::EnumValue(key, i, &name, &type, &data) == kErrorSuccess; ++i)
    names.push_back(name);
  return names;
}

// A tree's content: "\sub\key|value" -> kind and data, and "\sub\key" -> ~0
// for every key; empty when the key is missing.
using RegTree = std::map<std::u16string, std::pair<uint32_t, std::string>>;

inline void WalkRegTree(reg::HKey key, const std::u16string& path, RegTree& tree) {
  tree[path] = {~0u, ""};
  std::u16string name;
  uint32_t type;
  std::string data;
  for (uint32_t i = 0; reg::EnumValue(key, i, &name, &type, &data) == kErrorSuccess; ++i)
    tree[path + u"|" + name] = {type, data};
  for (uint32_t i = 0; reg::EnumKey(key, i, &name) == kErrorSuccess; ++i) {
    reg::ScopedKey sub;
    ASSERT_EQ(reg::OpenKey(key, name, reg::kKeyRead, sub.Out()), kErrorSuccess);
    WalkRegTree(sub.Get(), path + u"\\" + name, tree);
  }
}

inline RegTree DumpRegTree(reg::HKey root, std::u16string_view key) {
  RegTree tree;
  reg::ScopedKey h;
  if (reg::OpenKey(root, key, reg::kKeyRead, h.Out()) == kErrorSuccess)
    WalkRegTree(h.Get(), u"", tree);
  return tree;
}

}  // namespace slv2::test
