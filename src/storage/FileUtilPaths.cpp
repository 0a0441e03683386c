// Path texts: pure string work, no file-system access except the absolute
// form in SameFileName.
#include <vector>

#include "storage/FileUtil.h"
#include "sys/FileLayer.h"
#include "sys/StrUtil.h"

namespace slv2 {
namespace {

bool IsDelimiter(char c) {
  return c == '/' || c == '\\';
}
bool IsTrailingDelimiter(char c) {
  return c == '/' || c == '\\' || c == ':';
}

std::vector<std::string_view> SplitComponents(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t i = 0;
  while (i < path.size()) {
    size_t j = i;
    while (j < path.size() && !IsDelimiter(path[j]))
      ++j;
    if (j > i) parts.push_back(path.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

std::string Join(const std::vector<std::string_view>& parts, char delimiter) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += delimiter;
    out.append(parts[i]);
  }
  return out;
}

// Below "/" there is nothing to climb to: a ".." there is dropped.
std::string NormalizePosixPath(std::string_view path) {
  std::vector<std::string_view> parts = SplitComponents(path);
  for (size_t i = 0; i < parts.size();) {
    if (parts[i] == ".") {
      parts.erase(parts.begin() + static_cast<ptrdiff_t>(i));
    } else if (parts[i] == "..") {
      size_t first = i > 0 ? i - 1 : i;
      parts.erase(parts.begin() + static_cast<ptrdiff_t>(first),
                  parts.begin() + static_cast<ptrdiff_t>(i + 1));
      i = first;
    } else {
      ++i;
    }
  }
  return "/" + Join(parts, '/');
}

}  // namespace

std::string TgmFileUtil::IncludeTrailingDelimiter(std::string_view text, char delimiter) {
  if (text.empty()) return std::string(1, delimiter);
  if (IsTrailingDelimiter(text.back())) return std::string(text);
  if (delimiter == '\\' && IsPosixFormPath(text)) delimiter = '/';
  return std::string(text) + delimiter;
}

std::string TgmFileUtil::ExcludeTrailingDelimiters(std::string_view text) {
  while (!text.empty() && IsTrailingDelimiter(text.back()))
    text.remove_suffix(1);
  return std::string(text);
}

std::string TgmFileUtil::ExtractFilePath(std::string_view path) {
  size_t last = path.find_last_of("/\\");
  return last == std::string_view::npos ? std::string() : std::string(path.substr(0, last + 1));
}

std::string TgmFileUtil::ExtractFileName(std::string_view path, bool withExtension) {
  size_t last = path.find_last_of("/\\");
  std::string_view name = last == std::string_view::npos ? path : path.substr(last + 1);
  if (!withExtension) {
    size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  }
  return std::string(name);
}

std::string TgmFileUtil::ExtractFileExt(std::string_view path, bool withDot) {
  size_t dot = path.find_last_of("./\\");
  if (dot == std::string_view::npos || path[dot] != '.') return std::string();
  return std::string(path.substr(withDot ? dot : dot + 1));
}

std::string TgmFileUtil::NormalizePath(std::string_view path) {
  if (path.empty()) return std::string();
  if (IsPosixFormPath(path)) return NormalizePosixPath(path);
  bool leading = IsDelimiter(path[0]);
  std::vector<std::string_view> parts = SplitComponents(path);
  if (leading) parts.insert(parts.begin(), std::string_view());
  for (size_t i = 0; i < parts.size();) {
    if (parts[i] == ".") {
      parts.erase(parts.begin() + static_cast<ptrdiff_t>(i));
    } else if (parts[i] == ".." && i > 0) {
      parts.erase(parts.begin() + static_cast<ptrdiff_t>(i - 1),
                  parts.begin() + static_cast<ptrdiff_t>(i + 1));
      --i;
    } else {
      ++i;
    }
  }
  std::string joined = Join(parts, '\\');
  return leading ? "\\" + joined : joined;
}

std::string TgmFileUtil::CombinePath(std::string_view folder, std::string_view name) {
  return NormalizePath(IncludeTrailingDelimiter(folder, '\\') + std::string(name));
}

bool TgmFileUtil::SameFileName(std::string_view a, std::string_view b) {
  std::string fullA = fs::GetFullPathName(NormalizePath(a));
  std::string fullB = fs::GetFullPathName(NormalizePath(b));
  if (fullA.size() != fullB.size()) return false;
  auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  for (size_t i = 0; i < fullA.size(); ++i) {
    if (fold(fullA[i]) != fold(fullB[i])) return false;
  }
  return true;
}

}  // namespace slv2
