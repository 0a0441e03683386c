// Registry export in the "Windows Registry Editor Version 5.00" format, so
// that importing the export reproduces the tree: every value kind is written
// (text values that a quoted string could not carry exactly go as hex(1)).
#pragma once

#include <string>
#include <string_view>

#include "sys/registry/RegApi.h"

namespace slv2::reg {

// The line (with its continuation lines, each ending in CR LF) that sets a
// value in the Unicode format.
std::u16string FormatRegValue(std::u16string_view name, uint32_t type, std::string_view data);

// Appends the tree at path below root (its key line, values and subkeys, in
// the registry's order) to `script`, without the header; path "" is the root.
uint32_t ExportRegKey(HKey root, std::u16string_view path, std::u16string* script);

// A complete script file: byte-order mark, header, and the text of
// ExportRegKey calls, as UTF-16LE bytes.
std::string RegScriptFileBytes(std::u16string_view body);

}  // namespace slv2::reg
