#include "sys/registry/Registry.h"

#include <cstring>

#include "sys/Cp1251.h"
#include "sys/WinError.h"
#include "sys/registry/RegAnsi.h"

namespace slv2 {
namespace {

[[noreturn]] void Raise(const char* format, std::string_view name) {
  std::string message(format);
  message.replace(message.find("%s"), 2, name);
  throw ERegistryException(message);
}

}  // namespace

void TRegistry::SetRootKey(reg::HKey root) {
  CloseKey();
  root_ = root;
}

bool TRegistry::OpenKey(std::string_view key, bool canCreate) {
  return ChangeKey(key, canCreate, access_);
}

bool TRegistry::OpenKeyReadOnly(std::string_view key) {
  if (!ChangeKey(key, false, reg::kKeyRead)) return false;
  access_ = reg::kKeyRead;
  return true;
}

bool TRegistry::ChangeKey(std::string_view key, bool canCreate, uint32_t access) {
  bool relative = key.empty() || key.front() != '\\';
  if (!relative) key.remove_prefix(1);
  reg::HKey base = relative && key_ ? key_ : root_;
  reg::HKey opened = 0;
  uint32_t rc = canCreate && !key.empty() ? reg::CreateKeyA(base, key, access, &opened)
                                          : reg::OpenKeyA(base, key, access, &opened);
  if (rc != kErrorSuccess) return false;
  std::string path =
      relative && key_ && !path_.empty() ? path_ + "\\" + std::string(key) : std::string(key);
  CloseKey();
  key_ = opened;
  path_ = std::move(path);
  return true;
}

void TRegistry::CloseKey() {
  if (key_) reg::CloseKey(key_);
  key_ = 0;
  path_.clear();
}

std::vector<std::string> TRegistry::GetKeyNames() {
  std::vector<std::string> names;
  std::string name;
  reg::HKey key = key_ ? key_ : root_;
  for (uint32_t i = 0; reg::EnumKeyA(key, i, &name) == kErrorSuccess; ++i)
    names.push_back(name);
  return names;
}

std::vector<std::string> TRegistry::GetValueNames() {
  std::vector<std::string> names;
  std::string name;
  reg::HKey key = key_ ? key_ : root_;
  for (uint32_t i = 0; reg::EnumValueA(key, i, &name) == kErrorSuccess; ++i) {
    names.push_back(name);
  }
  return names;
}

uint32_t TRegistry::GetDataType(std::string_view name) {
  uint32_t type = reg::kRegNone;
  std::string data;
  if (reg::QueryValueA(key_ ? key_ : root_, name, &type, &data) != kErrorSuccess) {
    return reg::kRegNone;
  }
  return type;
}

int64_t TRegistry::GetDataSize(std::string_view name) {
  uint32_t type;
  std::string data;
  if (reg::QueryValueA(key_ ? key_ : root_, name, &type, &data) != kErrorSuccess) return -1;
  return static_cast<int64_t>(data.size());
}

std::string TRegistry::GetData(std::string_view name, uint32_t* type) {
  std::string data;
  if (reg::QueryValueA(key_ ? key_ : root_, name, type, &data) != kErrorSuccess) {
    Raise("Failed to get data for '%s'", name);
  }
  return data;
}

void TRegistry::PutData(std::string_view name, uint32_t type, std::string_view data) {
  if (reg::SetValueA(key_ ? key_ : root_, name, type, data) != kErrorSuccess) {
    Raise("Failed to set data for '%s'", name);
  }
}

bool TRegistry::DeleteValue(std::string_view name) {
  return reg::DeleteValue(key_ ? key_ : root_, AnsiToUtf16(name)) == kErrorSuccess;
}

std::string TRegistry::ReadString(std::string_view name) {
  uint32_t type;
  std::string data = GetData(name, &type);
  if (type != reg::kRegSz && type != reg::kRegExpandSz) Raise("Invalid data type for '%s'", name);
  return data.substr(0, std::strlen(data.c_str()));
}

int32_t TRegistry::ReadInteger(std::string_view name) {
  uint32_t type;
  std::string data = GetData(name, &type);
  if (type != reg::kRegDword) Raise("Invalid data type for '%s'", name);
  if (data.size() > sizeof(uint32_t)) Raise("Failed to get data for '%s'", name);
  uint32_t value = 0;
  for (size_t i = 0; i < data.size(); ++i)
    value |= uint32_t{static_cast<uint8_t>(data[i])} << 8 * i;
  return static_cast<int32_t>(value);
}

std::string TRegistry::ReadBinaryData(std::string_view name) {
  uint32_t type;
  std::string data = GetData(name, &type);
  if (type != reg::kRegBinary) Raise("Invalid data type for '%s'", name);
  return data;
}

void TRegistry::WriteString(std::string_view name, std::string_view value) {
  PutData(name, reg::kRegSz, std::string(value) + '\0');
}

void TRegistry::WriteExpandString(std::string_view name, std::string_view value) {
  PutData(name, reg::kRegExpandSz, std::string(value) + '\0');
}

void TRegistry::WriteInteger(std::string_view name, int32_t value) {
  auto bits = static_cast<uint32_t>(value);
  char data[4];
  for (int i = 0; i < 4; ++i)
    data[i] = static_cast<char>(bits >> 8 * i);
  PutData(name, reg::kRegDword, std::string_view(data, sizeof data));
}

void TRegistry::WriteBinaryData(std::string_view name, std::string_view data) {
  PutData(name, reg::kRegBinary, data);
}

}  // namespace slv2
