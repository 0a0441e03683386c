// The four value and key functions every updater uses. A key path is relative
// to the root passed; one leading "\" is dropped, and a path that begins with
// a root's name ("HKEY_LOCAL_MACHINE\", "HKLM\", ...) has that prefix removed
// when it names the same root, or raises ERegistryError ""%s" does not match
// RootKey" when it names another. Names and values are program text. Only a
// missing key or value counts as missing: any other failure of the registry
// (busy, damaged, refused) raises ERegistryError with the system's reason.
#pragma once

#include <string>
#include <string_view>

#include "sys/Exception.h"
#include "sys/registry/RegApi.h"

namespace slv2 {

SLV2_DECLARE_EXCEPTION(ERegistryError, Exception);

// True when the key opens for reading, false when it is missing.
bool RegKeyExists(reg::HKey root, std::string_view key);

// Raises ERegistryError, naming the reason, when the registry cannot serve a
// run that changes it (RegApi.h: CheckRegistry): checked before a run starts.
void RegCheckRegistry();

// The text of a REG_SZ, REG_EXPAND_SZ (unexpanded) or REG_BINARY value, its
// last byte (the terminating zero) dropped. Raises ERegistryError when the
// key or the value is missing, and for a value of any other kind.
std::string RegReadString(reg::HKey root, std::string_view key, std::string_view name);
// The same, with `def` for a missing key or value; a value of another kind
// still raises.
std::string RegReadStringDef(reg::HKey root, std::string_view key, std::string_view name,
                             std::string_view def);

// Writes a REG_SZ value, creating the key when needed; raises ERegistryError
// when the key cannot be opened for writing or the value cannot be set.
void RegWriteString(reg::HKey root, std::string_view key, std::string_view name,
                    std::string_view value);

}  // namespace slv2
