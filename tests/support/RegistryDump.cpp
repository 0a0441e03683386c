// Registry keys written and dumped through the registry layer's own calls.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "sys/Cp1251.h"
#include "sys/WinError.h"
#include "sys/registry/RegAnsi.h"

namespace slv2::test {

void SetRegValue(reg::HKey root, const std::string& key, const std::string& name, uint32_t type,
                 const std::string& data) {
  reg::ScopedKey handle;
  ASSERT_EQ(
      reg::CreateKeyA(root, key.substr(key.starts_with("\\")), reg::kKeyAllAccess, handle.Out()),
      kErrorSuccess);
  ASSERT_EQ(reg::SetValueA(handle.Get(), name, type, data), kErrorSuccess);
}

void SetRegString(reg::HKey root, const std::string& key, const std::string& name,
                  const std::string& text) {
  SetRegValue(root, key, name, reg::kRegSz, text + '\0');
}

namespace {

void WalkKey(reg::HKey key, const std::string& path, KeyTree& tree) {
  tree[path] = {~0u, ""};
  std::u16string name;
  uint32_t type;
  std::string data;
  for (uint32_t i = 0; reg::EnumValue(key, i, &name, &type, &data) == kErrorSuccess; ++i) {
    tree[path + "|" + Utf16ToAnsi(name)] = {type, data};
  }
  for (uint32_t i = 0; reg::EnumKey(key, i, &name) == kErrorSuccess; ++i) {
    reg::ScopedKey sub;
    ASSERT_EQ(reg::OpenKey(key, name, reg::kKeyRead, sub.Out()), kErrorSuccess);
    WalkKey(sub.Get(), path + "\\" + Utf16ToAnsi(name), tree);
  }
}

}  // namespace

KeyTree DumpRegKey(reg::HKey root, const std::string& key) {
  KeyTree tree;
  reg::ScopedKey handle;
  if (reg::OpenKeyA(root, key.substr(key.starts_with("\\")), reg::kKeyRead, handle.Out()) ==
      kErrorSuccess) {
    WalkKey(handle.Get(), "", tree);
  }
  return tree;
}

}  // namespace slv2::test
