#include "sys/TempNames.h"

namespace slv2 {

bool IsProgramTempName(std::string_view name) {
  constexpr std::string_view kExtension = ".TMP";
  if (!name.starts_with(kTempPrefix) || !name.ends_with(kExtension)) return false;
  std::string_view unique =
      name.substr(kTempPrefix.size(), name.size() - kTempPrefix.size() - kExtension.size());
  if (unique.empty() || unique.size() > 4) return false;
  for (char c : unique) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

}  // namespace slv2
