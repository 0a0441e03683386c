// The wildcard rules of the platform's listing, the same on every platform:
// the Windows listing applies them itself, the Linux twin through this.
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"

namespace slv2::fs {
namespace {

// A listing mask's wildcard match, on upper-cased program text.
bool WildMatch(const char* n, const char* m) {
  const char* starM = nullptr;
  const char* starN = nullptr;
  while (*n) {
    if (*m == '*') {
      starM = ++m;
      starN = n;
    } else if (*m == '?' || *m == *n) {
      ++m;
      ++n;
    } else if (starM) {
      m = starM;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (*m == '*')
    ++m;
  return *m == '\0';
}

}  // namespace

bool MatchesListingMask(std::string_view name, std::string_view mask) {
  std::string m = AnsiUpperCase(mask), n = AnsiUpperCase(name);
  if (m == "*.*" || m == "*") return true;
  if (WildMatch(n.c_str(), m.c_str())) return true;
  // "name*.*" also takes names without a dot, as the platform's listing does.
  if (m.size() >= 2 && m.compare(m.size() - 2, 2, ".*") == 0 && n.find('.') == std::string::npos) {
    return WildMatch(n.c_str(), m.substr(0, m.size() - 2).c_str());
  }
  // "name." asks for names without an extension.
  if (m.size() >= 2 && m.back() == '.' && n.find('.') == std::string::npos) {
    return WildMatch(n.c_str(), m.substr(0, m.size() - 1).c_str());
  }
  return false;
}

}  // namespace slv2::fs
