#include "sys/registry/RegAnsi.h"

#include "sys/Cp1251.h"
#include "sys/WinError.h"

namespace slv2::reg {

bool IsStringKind(uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

std::u16string StringDataToUtf16(std::string_view utf16le) {
  std::u16string text((utf16le.size() + 1) / 2, u'\0');
  for (size_t i = 0; i < utf16le.size(); ++i) {
    auto byte = static_cast<char16_t>(static_cast<uint8_t>(utf16le[i]));
    text[i / 2] = static_cast<char16_t>(text[i / 2] | (i % 2 ? byte << 8 : byte));
  }
  return text;
}

std::string StringDataFromUtf16(std::u16string_view text) {
  std::string data;
  data.reserve(text.size() * 2);
  for (char16_t c : text) {
    data += static_cast<char>(c & 0xFF);
    data += static_cast<char>(c >> 8);
  }
  return data;
}

std::string StringDataToAnsi(std::string_view utf16le) {
  std::u16string text = StringDataToUtf16(utf16le);
  // One byte per code unit, so that sizes stay those of the registry's A
  // calls: a pair of surrogates becomes two question marks.
  std::string ansi;
  ansi.reserve(text.size());
  for (char16_t c : text) {
    ansi += c >= 0xD800 && c < 0xE000 ? '?' : Utf16ToAnsi(std::u16string_view(&c, 1))[0];
  }
  return ansi;
}

std::string StringDataFromAnsi(std::string_view ansi) {
  return StringDataFromUtf16(AnsiToUtf16(ansi));
}

uint32_t OpenKeyA(HKey parent, std::string_view subKey, uint32_t access, HKey* result) {
  return OpenKey(parent, AnsiToUtf16(subKey), access, result);
}

uint32_t CreateKeyA(HKey parent, std::string_view subKey, uint32_t access, HKey* result) {
  return CreateKey(parent, AnsiToUtf16(subKey), access, result);
}

uint32_t QueryValueA(HKey key, std::string_view name, uint32_t* type, std::string* data) {
  uint32_t rc = QueryValue(key, AnsiToUtf16(name), type, data);
  if (rc == kErrorSuccess && IsStringKind(*type)) *data = StringDataToAnsi(*data);
  return rc;
}

uint32_t SetValueA(HKey key, std::string_view name, uint32_t type, std::string_view data) {
  return SetValue(key, AnsiToUtf16(name), type,
                  IsStringKind(type) ? StringDataFromAnsi(data) : std::string(data));
}

uint32_t DeleteKeyA(HKey parent, std::string_view subKey) {
  return DeleteKey(parent, AnsiToUtf16(subKey));
}

uint32_t EnumKeyA(HKey key, uint32_t index, std::string* name) {
  std::u16string wide;
  uint32_t rc = EnumKey(key, index, &wide);
  if (rc == kErrorSuccess) *name = Utf16ToAnsi(wide);
  return rc;
}

uint32_t EnumValueA(HKey key, uint32_t index, std::string* name) {
  std::u16string wide;
  uint32_t type;
  std::string data;
  uint32_t rc = EnumValue(key, index, &wide, &type, &data);
  if (rc == kErrorSuccess) *name = Utf16ToAnsi(wide);
  return rc;
}

}  // namespace slv2::reg
