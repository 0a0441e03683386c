#include "products/SecurityUtil.h"

#include <exception>
#include <optional>

#include "products/FileSecurity.h"
#include "sys/WinError.h"

namespace slv2 {

bool LoadSecurityApi(security::SecurityApi& api) {
  return api.Load();
}

uint32_t SetEveryoneFullControl(const std::string& path, security::SecurityApi& api) {
  TFileSecurity security(api);
  TFileSecHandlers handlers;
  uint32_t taken = 0;
  security.OnGetSecurity = [&taken](TFileSecurity&, uint32_t error, uint32_t) { taken = error; };
  security.OnSetSecurity = [&handlers](TFileSecurity& sender, uint32_t error, uint32_t location) {
    handlers.SetSecurity(sender, error, location);
  };
  security.SetFileName(path);
  // A DACL that cannot be read is replaced all the same; an object that could
  // not be taken (its volume unknown or without access lists) cannot be.
  if (security.FileName().empty()) return taken ? taken : kErrorFileNotFound;
  for (int index = security.Count() - 1; index >= 0; --index)
    security.DeleteEntry(index);
  security.GrantFullControl(security.AddAccount(std::string(), "Everyone"));
  security.WriteSecurity();
  return handlers.Error;
}

namespace {

// Why opening a file to all users failed; nothing when it succeeded.
std::optional<std::string> RefusalReason(const std::string& path, security::SecurityApi& api) {
  if (api.PlatformId() != security::kVerPlatformWin32Nt) return "this system keeps no access lists";
  if (!LoadSecurityApi(api)) return "the system's security functions cannot be loaded";
  try {
    uint32_t error = SetEveryoneFullControl(path, api);
    if (error == kFileSecNoAcls) return "its volume keeps no access lists";
    if (error) return SysErrorMessage(error);
    return std::nullopt;
  } catch (const std::exception& e) {
    // Its only caller goes on with the next file whatever happened; the
    // reason tells the failure.
    return std::string(e.what());
  }
}

}  // namespace

bool AllowFileForEveryone(const std::string& path, security::SecurityApi& api, std::string* why) {
  std::optional<std::string> reason = RefusalReason(path, api);
  if (reason && why) *why = *reason;
  return !reason;
}

}  // namespace slv2
