// Registry script import and whole-tree operations: copy between roots (a
// merge: nothing in the destination is deleted), move and recursive delete.
// Key paths are program text and count from the root, with or without one
// leading "\". Failures are reported by the result; exceptions of the registry
// objects (ERegistryException) pass through to the caller. A tree more than
// 512 levels deep (the Windows registry's own limit) is not walked: the
// copy, move or deletion raises ERegistryError naming it, with what went by
// then done.
#pragma once

#include <string_view>

#include "sys/registry/Registry.h"

namespace slv2 {

// Imports a registry script as "regedit.exe /s "<fileName>"" does: true when
// the file exists and the whole script was imported. Windows runs the
// system's registry editor; Linux imports it in this process, one transaction
// per script (RegScriptFile.h).
bool ImportRegFile(std::string_view fileName);

// Copies the tree at sourceKey below sourceRoot to destKey below destRoot.
// Only REG_SZ, REG_EXPAND_SZ, REG_DWORD and REG_BINARY values are copied: the
// first value of another kind ends the copy with false, leaving in place what
// was copied before it. Until the copy is complete its destination carries a
// value that says so (RegKeyCopyIncomplete), since a registry that cannot
// group changes (Windows) shows a copy a kill cut short; a copy into such a
// destination starts again from nothing.
bool CopyRegKey(reg::HKey sourceRoot, reg::HKey destRoot, std::string_view sourceKey,
                std::string_view destKey);
// True when the key is the destination of a copy that did not complete.
bool RegKeyCopyIncomplete(reg::HKey root, std::string_view key);
// The copy's worker on two distinct registry objects (the same object twice
// is an assertion failure); both get their open keys back before it returns.
bool CopyRegKeyTree(TRegistry& source, TRegistry& dest, std::string_view sourceKey,
                    std::string_view destKey);
// Copies one value of the source's open key into the destination's open key;
// false, with nothing written, for a kind the copy does not know.
bool CopyRegValue(TRegistry& source, TRegistry& dest, std::string_view name);

// CopyRegKey, then DeleteRegKeyTree of the source: true only when both
// succeed; a failed copy leaves the source untouched.
bool MoveRegKey(reg::HKey sourceRoot, reg::HKey destRoot, std::string_view sourceKey,
                std::string_view destKey);

// Deletes the key with all its subkeys, deepest first; false when the key is
// missing or a part of it cannot be deleted (what went by then stays gone).
bool DeleteRegKeyTree(reg::HKey root, std::string_view key);

}  // namespace slv2
