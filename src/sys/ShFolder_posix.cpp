// Linux twin of the special folders: the XDG base directories.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "sys/Cp1251.h"
#include "sys/ShFolder.h"

namespace slv2 {
namespace {

// The base of the applications folder; empty when there is none.
std::string DataHome() {
  // A relative XDG_DATA_HOME is invalid and ignored, as the XDG rules ask.
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  if (::geteuid() == 0) return "/usr/local/share";
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    const passwd* user = ::getpwuid(::geteuid());
    home = user ? user->pw_dir : nullptr;
  }
  if (!home || !*home) return std::string();
  return std::string(home) + "/.local/share";
}

}  // namespace

std::string GetSpecialFolderPath(int csidl, bool create) {
  if ((csidl & ~kCsidlFlagCreate) != kCsidlCommonPrograms) return std::string();
  std::string base = DataHome();
  if (base.empty()) return std::string();
  std::filesystem::path folder = std::filesystem::path(base) / "applications";
  std::error_code error;
  if (create) std::filesystem::create_directories(folder, error);
  if (create && (error || !std::filesystem::is_directory(folder, error))) return std::string();
  return Utf8ToAnsi(folder.lexically_normal().string());
}

}  // namespace slv2
