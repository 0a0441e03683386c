#include "sys/registry/RegExport.h"

#include <vector>

#include "sys/WinError.h"
#include "sys/registry/RegAnsi.h"
#include "sys/registry/RegScript.h"

namespace slv2::reg {
namespace {

constexpr std::u16string_view kNewLine = u"\r\n";
// Hex lists wrap before this column, as the registry editor wraps them.
constexpr size_t kLineWidth = 76;

std::u16string Escaped(std::u16string_view text) {
  std::u16string out;
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') out += u'\\';
    out += c;
  }
  return out;
}

// The text of REG_SZ data that a quoted string gives back exactly: one
// terminating zero, no other zero, and no line break.
bool AsQuotedText(std::string_view data, std::u16string* text) {
  if (data.size() < 2 || data.size() % 2) return false;
  std::u16string units = StringDataToUtf16(data);
  if (units.back() != u'\0') return false;
  units.pop_back();
  if (units.find_first_of(std::u16string_view(u"\0\r\n", 3)) != std::u16string::npos) return false;
  *text = std::move(units);
  return true;
}

std::u16string Hex(uint32_t value, int digits) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string out;
  do {
    out.insert(out.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value || static_cast<int>(out.size()) < digits);
  return out;
}

}  // namespace

std::u16string FormatRegValue(std::u16string_view name, uint32_t type, std::string_view data) {
  std::u16string line = name.empty() ? u"@=" : u"\"" + Escaped(name) + u"\"=";
  std::u16string text;
  if (type == kRegSz && AsQuotedText(data, &text)) {
    return line + u"\"" + Escaped(text) + u"\"" + std::u16string(kNewLine);
  }
  if (type == kRegDword && data.size() == 4) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
      value |= uint32_t{static_cast<uint8_t>(data[i])} << 8 * i;
    return line + u"dword:" + Hex(value, 8) + std::u16string(kNewLine);
  }
  line += type == kRegBinary ? u"hex:" : u"hex(" + Hex(type, 1) + u"):";
  std::u16string out;
  for (size_t i = 0; i < data.size(); ++i) {
    line += Hex(static_cast<uint8_t>(data[i]), 2);
    if (i + 1 == data.size()) break;
    line += u',';
    if (line.size() >= kLineWidth) {
      out += line + u"\\" + std::u16string(kNewLine);
      line = u"  ";
    }
  }
  return out + line + std::u16string(kNewLine);
}

uint32_t ExportRegKey(HKey root, std::u16string_view path, std::u16string* script) {
  // Depth first without recursion, so that no depth of the tree can exhaust
  // the stack: each entry is a key's path below the root.
  std::vector<std::u16string> pending{std::u16string(path)};
  while (!pending.empty()) {
    std::u16string keyPath = std::move(pending.back());
    pending.pop_back();
    ScopedKey key;
    if (uint32_t rc = OpenKey(root, keyPath, kKeyRead, key.Out())) return rc;
    *script += u"[" + RootName(root) + (keyPath.empty() ? u"" : u"\\" + keyPath) + u"]" +
               std::u16string(kNewLine);
    std::u16string name;
    uint32_t type;
    std::string data;
    uint32_t rc;
    for (uint32_t i = 0; (rc = EnumValue(key.Get(), i, &name, &type, &data)) == kErrorSuccess;
         ++i) {
      *script += FormatRegValue(name, type, data);
    }
    if (rc != kErrorNoMoreItems) return rc;
    *script += kNewLine;
    std::vector<std::u16string> subKeys;
    for (uint32_t i = 0; (rc = EnumKey(key.Get(), i, &name)) == kErrorSuccess; ++i) {
      subKeys.push_back(keyPath.empty() ? name : keyPath + u"\\" + name);
    }
    if (rc != kErrorNoMoreItems) return rc;
    pending.insert(pending.end(), subKeys.rbegin(), subKeys.rend());
  }
  return kErrorSuccess;
}

std::string RegScriptFileBytes(std::u16string_view body) {
  std::u16string text = u"Windows Registry Editor Version 5.00" + std::u16string(kNewLine) +
                        std::u16string(kNewLine) + std::u16string(body);
  return "\xFF\xFE" + StringDataFromUtf16(text);
}

}  // namespace slv2::reg
