// File-mask tests over the byte-exact wildcard matcher.
#include "storage/FileUtil.h"
#include "sys/Cp1251.h"
#include "sys/StrUtil.h"

namespace slv2 {

bool TgmFileUtil::MatchesMask(std::string_view name, std::string_view mask, bool caseSensitive) {
  if (mask == "*" || mask == "*.*") return true;
  if (mask.empty()) return false;
  std::string text = caseSensitive ? std::string(name) : AnsiLowerCase(name);
  std::string pattern = caseSensitive ? std::string(mask) : AnsiLowerCase(mask);
  if (ExtractFileExt(text, true).empty()) text += '.';
  return MatchWildcard(text, pattern);
}

bool TgmFileUtil::MatchesAnyMask(std::string_view name, const std::vector<std::string>& masks,
                                 bool caseSensitive) {
  for (const std::string& mask : masks) {
    if (MatchesMask(name, mask, caseSensitive)) return true;
  }
  return false;
}

}  // namespace slv2
