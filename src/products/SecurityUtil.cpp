#include "products/SecurityUtil.h"

#include <exception>

#include "products/FileSecurity.h"

namespace slv2 {

bool LoadSecurityApi(security::SecurityApi& api) {
  return api.Load();
}

uint32_t SetEveryoneFullControl(const std::string& path, security::SecurityApi& api) {
  TFileSecurity security(api);
  TFileSecHandlers handlers;
  security.OnSetSecurity = [&handlers](TFileSecurity& sender, uint32_t error, uint32_t location) {
    handlers.SetSecurity(sender, error, location);
  };
  // A DACL that cannot be read is replaced all the same.
  security.SetFileName(path);
  for (int index = security.Count() - 1; index >= 0; --index)
    security.DeleteEntry(index);
  security.GrantFullControl(security.AddAccount(std::string(), "Everyone"));
  security.WriteSecurity();
  return handlers.Error;
}

bool AllowFileForEveryone(const std::string& path, security::SecurityApi& api) {
  if (api.PlatformId() != security::kVerPlatformWin32Nt || !LoadSecurityApi(api)) return false;
  try {
    return SetEveryoneFullControl(path, api) == 0;
  } catch (const std::exception&) {
    // Its only caller goes on with the next file whatever happened; the
    // result tells the failure.
    return false;
  }
}

}  // namespace slv2
