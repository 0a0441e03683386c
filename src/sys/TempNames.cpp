#include "sys/TempNames.h"

#include "sys/Cp1251.h"

namespace slv2 {

// Case is ignored, as names on Windows ignore it: Wine's GetTempFileName
// writes the digits and the extension in lower case.
bool IsProgramTempName(std::string_view name) {
  constexpr std::string_view kExtension = ".TMP";
  if (name.size() <= kTempPrefix.size() + kExtension.size() ||
      !AnsiSameText(name.substr(0, kTempPrefix.size()), kTempPrefix) ||
      !AnsiSameText(name.substr(name.size() - kExtension.size()), kExtension)) {
    return false;
  }
  std::string_view unique =
      name.substr(kTempPrefix.size(), name.size() - kTempPrefix.size() - kExtension.size());
  if (unique.size() > 4) return false;
  for (char c : unique) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

}  // namespace slv2
