// Access entries as the tests write them, and a scripted security layer, the
// platform boundary under TFileSecurity: accounts, volume answers and a DACL
// set by the test; the volumes asked for and the lists written logged.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "products/SecurityApi.h"
#include "sys/Format.h"
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
    log.push_back("volume " + root);
    *info = volume;
    return volumeError;
  }
  security::DaclResult ReadDacl(const std::string&, security::Dacl* out) override {
    *out = dacl;
    return readResult;
  }
  uint32_t LookupAccountSid(const std::string&, const Sid& sid,
                            security::Account* account) override {
    if (!accounts.count(sid)) return kErrorNoneMapped;
    *account = accounts[sid];
    return 0;
  }
  uint32_t LookupAccountName(const std::string&, const std::string& name, Sid* sid,
                             security::Account* account) override {
    for (const auto& [candidate, known] : accounts) {
      if (known.name != name) continue;
      *sid = candidate;
      *account = known;
      return 0;
    }
    return kErrorNoneMapped;
  }
  // Logged as "write" and "+name mask/flags" ("-" for a denial) an entry.
  security::DaclResult WriteDacl(const std::string&,
                                 const std::vector<security::AccessEntry>& entries) override {
    std::string line = "write";
    for (const security::AccessEntry& e : entries) {
      line += Format(" %c%s %X/%X", e.type == security::kAccessAllowedAceType ? '+' : '-',
                     accounts[e.sid].name.c_str(), e.mask, e.flags);
    }
    log.push_back(line);
    return writeResult;
  }
  uint32_t PlatformId() override {
    if (!platformKnown) throw std::runtime_error("the platform is not known");
    return platformId;
  }
  bool Load() override { return loads; }

  std::map<Sid, security::Account> accounts;
  uint32_t driveType = security::kDriveFixed;
  std::string connection;  // of a mapped drive; "" when mapping fails
  security::VolumeInfo volume{"DATA", 0x1234ABCD, security::kFsPersistentAcls, "NTFS"};
  uint32_t volumeError = 0;
  security::Dacl dacl{true, {}};
  security::DaclResult readResult, writeResult;
  uint32_t platformId = security::kVerPlatformWin32Nt;
  bool platformKnown = true;
  bool loads = true;
  std::vector<std::string> log;
};

}  // namespace slv2::test
