#include "updater/Slv2Paths.h"

#include <string>
#include <vector>

#include "storage/FileUtil.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"

namespace slv2 {

namespace {

bool IsControl(char c) {
  auto u = static_cast<unsigned char>(c);
  return (u != 0 && u < 0x20) || u == 0x7F;
}

bool IsDelimiter(char c) {
  return c == '\\' || c == '/';
}

struct PathParts {
  size_t leading = 0;  // delimiters in front: 1 for POSIX form, 2 for UNC
  std::vector<std::string_view> components;
};

PathParts Split(std::string_view path) {
  PathParts parts;
  size_t i = 0;
  while (i < path.size() && IsDelimiter(path[i]) && parts.leading < 2) {
    ++parts.leading;
    ++i;
  }
  while (i < path.size()) {
    size_t end = i;
    while (end < path.size() && !IsDelimiter(path[end]))
      ++end;
    if (end > i) parts.components.push_back(path.substr(i, end - i));
    i = end + 1;
  }
  return parts;
}

}  // namespace

bool PathWithin(std::string_view folder, std::string_view path, bool allowSame) {
  std::string normalFolder = TgmFileUtil::NormalizePath(folder);
  std::string normalPath = TgmFileUtil::NormalizePath(path);
  if (normalFolder.empty()) return false;  // an unknown folder holds nothing
  PathParts outer = Split(normalFolder);
  PathParts inner = Split(normalPath);
  if (outer.leading != inner.leading) return false;
  size_t needed = outer.components.size() + (allowSame ? 0 : 1);
  if (inner.components.size() < needed) return false;
  for (size_t i = 0; i < outer.components.size(); ++i) {
    if (!AnsiSameText(outer.components[i], inner.components[i])) return false;
  }
  return true;
}

bool PassesThroughLink(std::string_view path, bool itself) {
  uint32_t attributes = fs::GetFileAttributes(path);
  if (attributes == fs::kInvalidFileAttributes) return fs::LastError() == kErrorStoppedOnSymlink;
  return itself && (attributes & fs::kAttrReparsePoint);
}

bool HasControlCharacters(std::string_view name) {
  for (char c : name) {
    if (IsControl(c)) return true;
  }
  return false;
}

std::string PrintableName(std::string_view text) {
  std::string printable(text);
  for (char& c : printable) {
    if (IsControl(c)) c = '?';
  }
  return printable;
}

}  // namespace slv2
