#include "updater/Slv2Lists.h"

#include "sys/Cp1251.h"

namespace slv2 {

TPcreRegExp& TSlv2StrReplaceData::CompiledRegExp() {
  if (!RegExp) RegExp = std::make_unique<TPcreRegExp>(SearchFor);
  return *RegExp;
}

bool ParseIniBool(std::string_view value) {
  // Only the Latin letters fold: "ЛОЖЬ" in capitals is not the false word.
  auto sameLatin = [](std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
      if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
  };
  static const std::string kFalseRu = Utf8ToAnsi("Ложь");
  return !(value.empty() || sameLatin(value, "False") || sameLatin(value, kFalseRu) ||
           value == "0");
}

}  // namespace slv2
