// The platform registry: keys and values below predefined roots, with the
// calls of the Windows registry API (advapi32, its wide-character flavour).
// Names travel as UTF-16 and value data as the registry keeps it (string kinds
// as UTF-16LE), so that registry scripts in the Unicode format keep every
// character; RegAnsi.h adds the single-byte flavour the program text uses.
//
// On Windows the calls map one to one onto advapi32. On Linux the registry is
// one SQLite database (RegStore.h) with the same semantics: names compare
// case-insensitively and keep the case they were created with, subkeys are
// listed in name order and values in creation order, a key with subkeys
// cannot be deleted, handles of a deleted key fail with kErrorKeyDeleted, and
// every mutating call is atomic and safe against other processes.
//
// Every call returns a Windows error code (sys/WinError.h): kErrorSuccess,
// kErrorFileNotFound for a missing key or value, kErrorNoMoreItems at the end
// of an enumeration, kErrorAccessDenied when the handle lacks the right.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace slv2::reg {

// An open key or a predefined root (the handle values of Windows).
using HKey = std::uintptr_t;
inline constexpr HKey kHkeyClassesRoot = 0x80000000;
inline constexpr HKey kHkeyCurrentUser = 0x80000001;
inline constexpr HKey kHkeyLocalMachine = 0x80000002;
inline constexpr HKey kHkeyUsers = 0x80000003;
inline constexpr HKey kHkeyPerformanceData = 0x80000004;
inline constexpr HKey kHkeyCurrentConfig = 0x80000005;
inline constexpr HKey kHkeyDynData = 0x80000006;

// Value kinds.
enum : uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegDwordBigEndian = 5,
  kRegLink = 6,
  kRegMultiSz = 7,
  kRegResourceList = 8,
  kRegFullResourceDescriptor = 9,
  kRegResourceRequirementsList = 10,
  kRegQword = 11,
};

// Access rights of an open key.
enum : uint32_t {
  kKeyQueryValue = 0x0001,
  kKeySetValue = 0x0002,
  kKeyCreateSubKey = 0x0004,
  kKeyEnumerateSubKeys = 0x0008,
  kKeyRead = 0x20019,
  kKeyWrite = 0x20006,
  kKeyAllAccess = 0xF003F,
};

// RegOpenKeyExW: subKey is a path of names separated by "\" below parent; an
// empty path opens parent itself again.
uint32_t OpenKey(HKey parent, std::u16string_view subKey, uint32_t access, HKey* result);
// RegCreateKeyExW: opens the key, creating it and every missing key above it.
// `created` (optional) tells whether the last key was new.
uint32_t CreateKey(HKey parent, std::u16string_view subKey, uint32_t access, HKey* result,
                   bool* created = nullptr);
// RegCloseKey; closing a predefined root does nothing.
uint32_t CloseKey(HKey key);

// RegQueryValueExW: the kind and the data of a value; "" names the default value.
uint32_t QueryValue(HKey key, std::u16string_view name, uint32_t* type, std::string* data);
// RegSetValueExW: creates or replaces the value (a replaced value keeps its
// name's case and its place in the listing).
uint32_t SetValue(HKey key, std::u16string_view name, uint32_t type, std::string_view data);
// RegDeleteValueW.
uint32_t DeleteValue(HKey key, std::u16string_view name);

// RegDeleteKeyW: deletes a key without subkeys (kErrorAccessDenied otherwise).
uint32_t DeleteKey(HKey parent, std::u16string_view subKey);
// RegDeleteTreeW with a subkey: deletes the key with everything below it.
uint32_t DeleteTree(HKey parent, std::u16string_view subKey);

// RegEnumKeyExW and RegEnumValueW: the index-th subkey or value.
uint32_t EnumKey(HKey key, uint32_t index, std::u16string* name);
uint32_t EnumValue(HKey key, uint32_t index, std::u16string* name, uint32_t* type,
                   std::string* data);
// RegQueryInfoKeyW: the number of subkeys and values.
uint32_t QueryInfoKey(HKey key, uint32_t* subKeys, uint32_t* values);

// Whether the registry can serve a run that changes it, before anything is
// changed: on Linux its database opens, passes SQLite's quick check and can
// be locked for writing within the busy wait (a few seconds). kErrorSuccess
// or the failure (RegistryErrorText says what it means).
uint32_t CheckRegistry();

// From now on a registry database that does not exist is read as an empty
// registry, and neither it nor its folder is made: a dry run finds the
// machine as it is and leaves it so. Windows' registry always exists.
void NeverCreateRegistry();

// The text of a registry call's failure for a message: the system's text,
// and on Linux the database it concerns.
std::string RegistryErrorText(uint32_t code);

// An open key, closed when the object goes.
class ScopedKey {
 public:
  ScopedKey() = default;
  ~ScopedKey() { Reset(); }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  // For the result parameter of OpenKey and CreateKey; closes the key held.
  HKey* Out() {
    Reset();
    return &key_;
  }
  HKey Get() const { return key_; }
  void Reset() {
    if (key_) CloseKey(key_);
    key_ = 0;
  }

 private:
  HKey key_ = 0;
};

// Groups the calls that follow, until Commit, into one change of the registry
// that other processes see whole or not at all; a process that dies before
// Commit, or an object destroyed without it, changes nothing. One begun while
// another is active is part of that one: its Commit leaves its changes to the
// outer one, which makes them stand or not; ended without Commit, it undoes
// only its own. (The Windows registry cannot group changes:
// there, Begin and Commit succeed and every call stands on its own.)
class Transaction {
 public:
  Transaction() = default;
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Not for writing: one snapshot for several reads, which writers of other
  // processes do not wait for.
  uint32_t Begin(bool forWriting = true);
  uint32_t Commit();

 private:
  bool active_ = false;
};

}  // namespace slv2::reg
