#include "updater/Slv2NameMap.h"

#include <algorithm>

#include "sys/Cp1251.h"
#include "sys/Format.h"
#include "updater/Slv2Paths.h"

namespace slv2 {
namespace {

constexpr std::string_view kSuffixes[] = {".diff", ".patch"};

// True when every name of the relative path is a plain one: nothing in it
// can climb out of the root or start at another.
bool PlainRelativePath(const std::string& path) {
  if (path.empty() || path.find(':') != std::string::npos) return false;
  size_t start = 0;
  for (;;) {
    size_t end = path.find('/', start);
    std::string name = path.substr(start, end == std::string::npos ? end : end - start);
    if (name.empty() || name == "." || name == "..") return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

}  // namespace

TSlv2NameMap::TSlv2NameMap(const TSlv2IniFile& ini, const std::string& part,
                           const std::function<void(const std::string&)>& refuse) {
  const TSlv2IniFile::Section* section = ini.FindSection(part);
  if (!section) return;
  for (const std::string& line : section->Lines) {
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string path = line.substr(equals + 1);
    std::replace(path.begin(), path.end(), '\\', '/');
    std::string& slot = FPaths[AnsiUpperCase(line.substr(0, equals))];
    if (HasControlCharacters(path) || !PlainRelativePath(path)) {
      refuse(
          Format("%s(): \"%s\" maps to \"%s\", which is no path inside the folder; element "
                 "refused",
                 "ProcessFiles", PrintableName(line.substr(0, equals)).c_str(),
                 PrintableName(path).c_str()));
      path.clear();
    }
    slot = path;
  }
}

std::string TSlv2NameMap::PathOf(const std::string& element) const {
  std::string_view suffix;
  for (std::string_view candidate : kSuffixes) {
    if (element.ends_with(candidate)) suffix = candidate;
  }
  auto found = FPaths.find(AnsiUpperCase(element.substr(0, element.size() - suffix.size())));
  if (found == FPaths.end()) return element;
  if (found->second.empty()) return {};
  return found->second + std::string(suffix);
}

}  // namespace slv2
