// The framework's registry object: a root, an access mask, at most one open
// key and its path. Paths that begin with "\" start at the root, others below
// the open key (or the root when none is open). Reads and writes act on the
// open key; their failures raise ERegistryException ("Failed to get data for
// '%s'", "Failed to set data for '%s'", "Invalid data type for '%s'", with the
// value's name). Names and texts are program text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sys/Exception.h"
#include "sys/registry/RegApi.h"

namespace slv2 {

SLV2_DECLARE_EXCEPTION(ERegistryException, Exception);

class TRegistry {
 public:
  explicit TRegistry(uint32_t access = reg::kKeyAllAccess) : access_(access) {}
  ~TRegistry() { CloseKey(); }
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  reg::HKey RootKey() const { return root_; }
  // Closes the open key.
  void SetRootKey(reg::HKey root);
  uint32_t Access() const { return access_; }
  // The open key's path below the root, without "\" in front.
  const std::string& CurrentPath() const { return path_; }

  // Opens the key with the object's access, creating it when canCreate; on
  // success it replaces the open key. False when it cannot be opened.
  bool OpenKey(std::string_view key, bool canCreate);
  // The same for reading only; the object's access becomes KEY_READ.
  bool OpenKeyReadOnly(std::string_view key);
  void CloseKey();

  // The names of the open key's subkeys and values, in the registry's order;
  // empty when they cannot be listed.
  std::vector<std::string> GetKeyNames();
  std::vector<std::string> GetValueNames();
  // The value's kind, or REG_NONE when it is missing.
  uint32_t GetDataType(std::string_view name);
  // The value's size in bytes, or -1 when it is missing.
  int64_t GetDataSize(std::string_view name);

  // REG_SZ or REG_EXPAND_SZ (unexpanded), up to the first zero.
  std::string ReadString(std::string_view name);
  // REG_DWORD.
  int32_t ReadInteger(std::string_view name);
  // REG_BINARY.
  std::string ReadBinaryData(std::string_view name);
  void WriteString(std::string_view name, std::string_view value);
  void WriteExpandString(std::string_view name, std::string_view value);
  void WriteInteger(std::string_view name, int32_t value);
  void WriteBinaryData(std::string_view name, std::string_view data);
  // False when the value is missing or cannot be deleted.
  bool DeleteValue(std::string_view name);

 private:
  bool ChangeKey(std::string_view key, bool canCreate, uint32_t access);
  // Reads the value; raises "Failed to get data" when it cannot.
  std::string GetData(std::string_view name, uint32_t* type);
  void PutData(std::string_view name, uint32_t type, std::string_view data);

  reg::HKey root_ = reg::kHkeyCurrentUser;
  uint32_t access_;
  reg::HKey key_ = 0;
  std::string path_;
};

}  // namespace slv2
