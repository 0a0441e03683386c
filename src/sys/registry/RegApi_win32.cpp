// Windows twin of the platform registry: advapi32's wide-character calls,
// one to one.
#include <algorithm>

#include "sys/WinError.h"
#include "sys/WindowsApi.h"
#include "sys/registry/RegApi.h"

namespace slv2::reg {
namespace {

HKEY K(HKey key) {
  return reinterpret_cast<HKEY>(key);
}

// A NUL-terminated name for the calls.
std::wstring W(std::u16string_view name) {
  return std::wstring(name.begin(), name.end());
}

std::u16string U(const wchar_t* name, size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(name), length);
}

const BYTE* Bytes(std::string_view data) {
  return reinterpret_cast<const BYTE*>(data.data());
}

}  // namespace

uint32_t OpenKey(HKey parent, std::u16string_view subKey, uint32_t access, HKey* result) {
  HKEY key = nullptr;
  LSTATUS rc = ::RegOpenKeyExW(K(parent), W(subKey).c_str(), 0, access, &key);
  if (rc == ERROR_SUCCESS) *result = reinterpret_cast<HKey>(key);
  return static_cast<uint32_t>(rc);
}

uint32_t CreateKey(HKey parent, std::u16string_view subKey, uint32_t access, HKey* result,
                   bool* created) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  LSTATUS rc = ::RegCreateKeyExW(K(parent), W(subKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 access, nullptr, &key, &disposition);
  if (rc != ERROR_SUCCESS) return static_cast<uint32_t>(rc);
  *result = reinterpret_cast<HKey>(key);
  if (created) *created = disposition == REG_CREATED_NEW_KEY;
  return kErrorSuccess;
}

uint32_t CloseKey(HKey key) {
  if (key >= kHkeyClassesRoot && key <= kHkeyDynData) return kErrorSuccess;
  return static_cast<uint32_t>(::RegCloseKey(K(key)));
}

uint32_t QueryValue(HKey key, std::u16string_view name, uint32_t* type, std::string* data) {
  std::wstring valueName = W(name);
  DWORD kind = 0, size = 0;
  LSTATUS rc = ::RegQueryValueExW(K(key), valueName.c_str(), nullptr, &kind, nullptr, &size);
  // The value may grow between the two calls; ask again until it fits.
  while (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
    std::string buffer(size, '\0');
    DWORD got = size;
    rc = ::RegQueryValueExW(K(key), valueName.c_str(), nullptr, &kind,
                            reinterpret_cast<BYTE*>(buffer.data()), &got);
    if (rc == ERROR_SUCCESS) {
      buffer.resize(got);
      *type = kind;
      *data = std::move(buffer);
      return kErrorSuccess;
    }
    size = std::max<DWORD>(got, size * 2 + 2);
  }
  return static_cast<uint32_t>(rc);
}

uint32_t SetValue(HKey key, std::u16string_view name, uint32_t type, std::string_view data) {
  return static_cast<uint32_t>(::RegSetValueExW(K(key), W(name).c_str(), 0, type, Bytes(data),
                                                static_cast<DWORD>(data.size())));
}

uint32_t DeleteValue(HKey key, std::u16string_view name) {
  return static_cast<uint32_t>(::RegDeleteValueW(K(key), W(name).c_str()));
}

uint32_t DeleteKey(HKey parent, std::u16string_view subKey) {
  return static_cast<uint32_t>(::RegDeleteKeyW(K(parent), W(subKey).c_str()));
}

uint32_t DeleteTree(HKey parent, std::u16string_view subKey) {
  return static_cast<uint32_t>(::RegDeleteTreeW(K(parent), W(subKey).c_str()));
}

uint32_t EnumKey(HKey key, uint32_t index, std::u16string* name) {
  wchar_t buffer[256];  // the longest key name and its terminator
  DWORD length = 256;
  LSTATUS rc = ::RegEnumKeyExW(K(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
  if (rc == ERROR_SUCCESS) *name = U(buffer, length);
  return static_cast<uint32_t>(rc);
}

uint32_t EnumValue(HKey key, uint32_t index, std::u16string* name, uint32_t* type,
                   std::string* data) {
  DWORD maxName = 0, maxData = 0;
  LSTATUS rc = ::RegQueryInfoKeyW(K(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, &maxName, &maxData, nullptr, nullptr);
  // A value that grows meanwhile is asked for again with room for it.
  while (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
    std::wstring nameBuffer(maxName + 1, L'\0');
    std::string dataBuffer(maxData, '\0');
    DWORD nameLength = maxName + 1, dataLength = maxData, kind = 0;
    rc = ::RegEnumValueW(K(key), index, nameBuffer.data(), &nameLength, nullptr, &kind,
                         reinterpret_cast<BYTE*>(dataBuffer.data()), &dataLength);
    if (rc == ERROR_SUCCESS) {
      *name = U(nameBuffer.data(), nameLength);
      *type = kind;
      dataBuffer.resize(dataLength);
      *data = std::move(dataBuffer);
      return kErrorSuccess;
    }
    maxName = maxName * 2 + 16;
    maxData = std::max<DWORD>(maxData * 2, dataLength) + 16;
  }
  return static_cast<uint32_t>(rc);
}

uint32_t QueryInfoKey(HKey key, uint32_t* subKeys, uint32_t* values) {
  DWORD keys = 0, vals = 0;
  LSTATUS rc = ::RegQueryInfoKeyW(K(key), nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &vals,
                                  nullptr, nullptr, nullptr, nullptr);
  if (rc == ERROR_SUCCESS) {
    *subKeys = keys;
    *values = vals;
  }
  return static_cast<uint32_t>(rc);
}

// The Windows registry cannot group changes: every call stands on its own.
Transaction::~Transaction() = default;

uint32_t Transaction::Begin(bool) {
  active_ = true;
  return kErrorSuccess;
}

uint32_t Transaction::Commit() {
  active_ = false;
  return kErrorSuccess;
}

// The system's registry is always there; its own errors come with each call.
uint32_t CheckRegistry() {
  return kErrorSuccess;
}

void NeverCreateRegistry() {}

std::string RegistryErrorText(uint32_t code) {
  return SysErrorMessage(code);
}

}  // namespace slv2::reg
