// Access entries as the tests write them, and a scripted security layer, the
// platform boundary under TFileSecurity: accounts, volume answers and a DACL
// set by the test; the calls recorded.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "products/SecurityApi.h"
#include "sys/WinError.h"

namespace slv2::test {

// The inheritance flags of a folder's entries for its files and for itself.
constexpr uint8_t kFileFlags = 0x9, kFolderFlags = 0x2;

inline security::AccessEntry Allow(const security::Sid& sid, uint32_t mask, uint8_t flags = 0) {
  return {security::kAccessAllowedAceType, flags, mask, sid};
}
inline security::AccessEntry Deny(const security::Sid& sid, uint32_t mask, uint8_t flags = 0) {
  return {security::kAccessDeniedAceType, flags, mask, sid};
}

class FakeSecurityApi : public security::SecurityApi {
 public:
  using Sid = security::Sid;
  using Entry = security::AccessEntry;

  Sid Account(const std::string& name, uint32_t use, const std::string& domain = "") {
    Sid sid = {1, 1, 0, 0, 0, 0, 0, 5, static_cast<uint8_t>(accounts.size()), 0, 0, 0};
    accounts[sid] = {name, domain, use};
    return sid;
  }

  std::string ComputerName() override { return "WORKSTATION"; }
  uint32_t DriveType(const std::string&) override { return driveType; }
  uint32_t UniversalName(const std::string&, std::string* name, std::string* rest) override {
    *name = connection;
    *rest = "\\";
    return connection.empty() ? uint32_t{kErrorNotSupported} : 0;
  }
  uint32_t GetVolumeInfo(const std::string& root, security::VolumeInfo* info) override {
    volumeRoots.push_back(root);
    *info = volume;
    return volumeError;
  }
  security::DaclResult ReadDacl(const std::string& path, security::Dacl* out) override {
    readPaths.push_back(path);
    *out = dacl;
    return readResult;
  }
  uint32_t LookupAccountSid(const std::string& system, const Sid& sid,
                            security::Account* account) override {
    lookupSystems.push_back(system);
    if (!accounts.count(sid)) return kErrorNoneMapped;
    *account = accounts[sid];
    return 0;
  }
  uint32_t LookupAccountName(const std::string& system, const std::string& name, Sid* sid,
                             security::Account* account) override {
    lookupSystems.push_back(system);
    for (const auto& [candidate, known] : accounts) {
      if (known.name != name) continue;
      *sid = candidate;
      *account = known;
      return 0;
    }
    return kErrorNoneMapped;
  }
  security::DaclResult WriteDacl(const std::string& path,
                                 const std::vector<Entry>& entries) override {
    writtenPaths.push_back(path);
    written = entries;
    return writeResult;
  }
  uint32_t PlatformId() override { return platformId; }
  bool Load() override { return loads; }

  std::map<Sid, security::Account> accounts;
  uint32_t driveType = security::kDriveFixed;
  std::string connection;  // of a mapped drive; "" when mapping fails
  security::VolumeInfo volume{"DATA", 0x1234ABCD, security::kFsPersistentAcls, "NTFS"};
  uint32_t volumeError = 0;
  security::Dacl dacl{true, {}};
  security::DaclResult readResult, writeResult;
  uint32_t platformId = security::kVerPlatformWin32Nt;
  bool loads = true;

  std::vector<std::string> volumeRoots, readPaths, lookupSystems, writtenPaths;
  std::vector<Entry> written;
};

}  // namespace slv2::test
