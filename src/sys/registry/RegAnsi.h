// The single-byte flavour of the platform registry (the advapi32 "A" calls):
// names are program text (Windows-1251), and the data of the string kinds
// (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) is converted between Windows-1251 and
// the UTF-16LE the registry keeps, so that a string written by one program
// reads the same in another. Other kinds pass unchanged. Results as in
// RegApi.h.
#pragma once

#include <string>
#include <string_view>

#include "sys/registry/RegApi.h"

namespace slv2::reg {

uint32_t OpenKeyA(HKey parent, std::string_view subKey, uint32_t access, HKey* result);
uint32_t CreateKeyA(HKey parent, std::string_view subKey, uint32_t access, HKey* result);
uint32_t QueryValueA(HKey key, std::string_view name, uint32_t* type, std::string* data);
uint32_t SetValueA(HKey key, std::string_view name, uint32_t type, std::string_view data);
uint32_t DeleteKeyA(HKey parent, std::string_view subKey);
uint32_t EnumKeyA(HKey key, uint32_t index, std::string* name);
// The index-th value's name.
uint32_t EnumValueA(HKey key, uint32_t index, std::string* name);

// Whether data of this kind is text the registry keeps as UTF-16LE.
bool IsStringKind(uint32_t type);
// String data between the registry's UTF-16LE and Windows-1251, one byte per
// code unit (an odd last byte counts as a code unit of its own).
std::string StringDataToAnsi(std::string_view utf16le);
std::string StringDataFromAnsi(std::string_view ansi);
// The same between UTF-16LE bytes and UTF-16 text.
std::u16string StringDataToUtf16(std::string_view utf16le);
std::string StringDataFromUtf16(std::u16string_view text);

}  // namespace slv2::reg
