#include "sys/registry/RegFunctions.h"

#include <optional>

#include "sys/WinError.h"
#include "sys/registry/RegAnsi.h"

namespace slv2 {
namespace {

using reg::HKey;

struct RootPrefix {
  const char* prefix;
  HKey root;
};

// Case-sensitive, as the names are written in the key paths of the program.
constexpr RootPrefix kRootPrefixes[] = {
    {"HKEY_CLASSES_ROOT\\", reg::kHkeyClassesRoot},
    {"HKEY_CURRENT_USER\\", reg::kHkeyCurrentUser},
    {"HKEY_LOCAL_MACHINE\\", reg::kHkeyLocalMachine},
    {"HKEY_USERS\\", reg::kHkeyUsers},
    {"HKEY_PERFORMANCE_DATA\\", reg::kHkeyPerformanceData},
    {"HKEY_CURRENT_CONFIG\\", reg::kHkeyCurrentConfig},
    {"HKEY_DYN_DATA\\", reg::kHkeyDynData},
    {"HKCR\\", reg::kHkeyClassesRoot},
    {"HKCU\\", reg::kHkeyCurrentUser},
    {"HKLM\\", reg::kHkeyLocalMachine},
    {"HKUS\\", reg::kHkeyUsers},
    {"HKPD\\", reg::kHkeyPerformanceData},
    {"HKCC\\", reg::kHkeyCurrentConfig},
    {"HKDD\\", reg::kHkeyDynData},
};

// Only a key or value that is not there (or cannot be: a path the registry
// does not take, a root the Linux store does not hold) is "missing"; any
// other failure (a busy or damaged registry, a refused access) is an error,
// never read as an absent key.
bool Missing(uint32_t code) {
  return code == kErrorFileNotFound || code == kErrorBadPathname ||
         code == kErrorInvalidParameter || code == kErrorInvalidHandle;
}

// The message of a failure, with its reason unless the key or value is only
// missing (whose message is the plain one).
std::string Failure(std::string message, uint32_t code) {
  if (Missing(code)) return message;
  return message + ": " + reg::RegistryErrorText(code);
}

// The path the platform call receives.
std::string PlatformPath(HKey root, std::string_view key) {
  std::string_view path = key;
  if (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  for (const RootPrefix& p : kRootPrefixes) {
    if (path.substr(0, std::char_traits<char>::length(p.prefix)) != p.prefix) continue;
    if (p.root != root) {
      throw ERegistryError("\"" + std::string(key) + "\" does not match RootKey");
    }
    path.remove_prefix(std::char_traits<char>::length(p.prefix));
    break;
  }
  return std::string(path);
}

// The shared reader: nullopt for a missing key or value when `raise` is off.
std::optional<std::string> ReadString(HKey root, std::string_view key, std::string_view name,
                                      bool raise) {
  std::string path = PlatformPath(root, key);
  reg::ScopedKey opened;
  if (uint32_t rc = reg::OpenKeyA(root, path, reg::kKeyRead, opened.Out())) {
    if (!raise && Missing(rc)) return std::nullopt;
    throw ERegistryError(Failure("Unable to open key \"" + std::string(key) + "\" for read", rc));
  }
  uint32_t type = reg::kRegNone;
  std::string data;
  if (uint32_t rc = reg::QueryValueA(opened.Get(), name, &type, &data)) {
    if (!raise && Missing(rc)) return std::nullopt;
    throw ERegistryError(Failure("Unable to open key \"" + std::string(key) +
                                     "\" and access value \"" + std::string(name) + "\"",
                                 rc));
  }
  if (type != reg::kRegSz && type != reg::kRegExpandSz && type != reg::kRegBinary) {
    throw ERegistryError("\"" + std::string(key) + "\\" + std::string(name) +
                         "\" is of wrong kind or size");
  }
  // The data without its last byte, the terminating zero of a string.
  if (!data.empty()) data.pop_back();
  return data;
}

}  // namespace

bool RegKeyExists(HKey root, std::string_view key) {
  std::string path = PlatformPath(root, key);
  reg::ScopedKey opened;
  uint32_t rc = reg::OpenKeyA(root, path, reg::kKeyRead, opened.Out());
  if (rc == kErrorSuccess || Missing(rc)) return rc == kErrorSuccess;
  throw ERegistryError(Failure("Unable to open key \"" + std::string(key) + "\" for read", rc));
}

void RegCheckRegistry() {
  if (uint32_t rc = reg::CheckRegistry()) {
    throw ERegistryError("The registry cannot be used: " + reg::RegistryErrorText(rc));
  }
}

std::string RegReadString(HKey root, std::string_view key, std::string_view name) {
  return *ReadString(root, key, name, true);
}

std::string RegReadStringDef(HKey root, std::string_view key, std::string_view name,
                             std::string_view def) {
  return ReadString(root, key, name, false).value_or(std::string(def));
}

void RegWriteString(HKey root, std::string_view key, std::string_view name,
                    std::string_view value) {
  std::string path = PlatformPath(root, key);
  reg::ScopedKey probe;
  if (reg::OpenKeyA(root, path, reg::kKeyRead, probe.Out()) != kErrorSuccess) {
    // A failure here shows in the open for writing that follows.
    reg::ScopedKey created;
    reg::CreateKeyA(root, path, reg::kKeyAllAccess, created.Out());
  }
  reg::ScopedKey opened;
  std::string failure = "Unable to open key \"" + std::string(key) + "\" for write";
  if (uint32_t rc = reg::OpenKeyA(root, path, reg::kKeyWrite, opened.Out())) {
    throw ERegistryError(Failure(failure, rc));
  }
  std::string data(value);
  data += '\0';
  if (uint32_t rc = reg::SetValueA(opened.Get(), name, reg::kRegSz, data)) {
    throw ERegistryError(Failure(failure, rc));
  }
}

}  // namespace slv2
