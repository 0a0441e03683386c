// A scripted security layer: the platform boundary under TFileSecurity, with
// accounts, volume answers and a DACL set by the test, and every call the
// component makes recorded.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "products/SecurityApi.h"
#include "sys/WinError.h"

namespace slv2::test {

class FakeSecurityApi : public security::SecurityApi {
 public:
  // Registers an account; its identifier is the returned SID.
  security::Sid Account(const std::string& name, uint32_t use = 1,
                        const std::string& domain = std::string()) {
    security::Sid sid = {1, 1, 0, 0, 0, 0, 0, 5, static_cast<uint8_t>(accounts.size()), 0, 0, 0};
    accounts[sid] = {name, domain, use};
    return sid;
  }
  security::AccessEntry Allow(const security::Sid& sid, uint32_t mask, uint8_t flags = 0) {
    return {security::kAccessAllowedAceType, flags, mask, sid};
  }
  security::AccessEntry Deny(const security::Sid& sid, uint32_t mask, uint8_t flags = 0) {
    return {security::kAccessDeniedAceType, flags, mask, sid};
  }

  std::string ComputerName() override { return computerName; }
  uint32_t DriveType(const std::string& root) override {
    driveRoots.push_back(root);
    return driveType;
  }
  uint32_t UniversalName(const std::string& root, std::string* connectionName,
                         std::string* remainingPath) override {
    universalRoots.push_back(root);
    *connectionName = connection;
    *remainingPath = remaining;
    return connection.empty() ? kErrorNotSupported : kErrorSuccess;
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
  uint32_t LookupAccountSid(const std::string& system, const security::Sid& sid,
                            security::Account* account) override {
    lookupSystems.push_back(system);
    auto it = accounts.find(sid);
    if (it == accounts.end()) return kErrorNoneMapped;
    *account = it->second;
    return kErrorSuccess;
  }
  uint32_t LookupAccountName(const std::string& system, const std::string& name, security::Sid* sid,
                             security::Account* account) override {
    lookupSystems.push_back(system);
    for (const auto& [candidate, known] : accounts) {
      if (known.name == name) {
        *sid = candidate;
        *account = {name, known.domain, known.use};
        return kErrorSuccess;
      }
    }
    return kErrorNoneMapped;
  }
  security::DaclResult WriteDacl(const std::string& path,
                                 const std::vector<security::AccessEntry>& entries) override {
    writtenPaths.push_back(path);
    written = entries;
    return writeResult;
  }
  uint32_t PlatformId() override { return platformId; }
  bool Load() override { return loads; }

  // Answers.
  std::map<security::Sid, security::Account> accounts;
  std::string computerName = "WORKSTATION";
  uint32_t driveType = security::kDriveFixed;
  std::string connection, remaining;
  security::VolumeInfo volume{"DATA", 0x1234ABCD, security::kFsPersistentAcls, "NTFS"};
  uint32_t volumeError = kErrorSuccess;
  security::Dacl dacl{true, {}};
  security::DaclResult readResult;
  security::DaclResult writeResult;
  uint32_t platformId = security::kVerPlatformWin32Nt;
  bool loads = true;

  // Calls.
  std::vector<std::string> driveRoots, universalRoots, volumeRoots, readPaths, writtenPaths;
  std::vector<std::string> lookupSystems;
  std::vector<security::AccessEntry> written;
};

}  // namespace slv2::test
