// Windows twin of the security layer: kernel32, mpr and advapi32, each
// operation forwarding to the call it stands for.
#include <cstring>

#include "products/SecurityApi.h"
#include "sys/WinError.h"
#include "sys/WindowsApi.h"

namespace slv2::security {
namespace {

constexpr DWORD kNameBuffer = 257;

const char* System(const std::string& system) {
  return system.empty() ? nullptr : system.c_str();
}

uint32_t Error() {
  return ::GetLastError();
}

DaclResult Failed(DaclStep step) {
  return DaclResult{Error(), step};
}

// The SID of an access entry of the kinds a file's DACL holds (allowed,
// denied, audit and alarm entries share one layout: header, mask, SID).
Sid SidOfEntry(const ACE_HEADER* header) {
  const auto* entry = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
  PSID sid = const_cast<DWORD*>(&entry->SidStart);
  size_t room = header->AceSize - offsetof(ACCESS_ALLOWED_ACE, SidStart);
  if (header->AceType > SYSTEM_ALARM_ACE_TYPE || !::IsValidSid(sid) || ::GetLengthSid(sid) > room) {
    return Sid();
  }
  const auto* bytes = static_cast<const uint8_t*>(sid);
  return Sid(bytes, bytes + ::GetLengthSid(sid));
}

class WindowsSecurityApi final : public SecurityApi {
 public:
  std::string ComputerName() override {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!::GetComputerNameA(name, &size)) return std::string();
    return std::string(name, size);
  }

  uint32_t DriveType(const std::string& root) override { return ::GetDriveTypeA(root.c_str()); }

  uint32_t UniversalName(const std::string& root, std::string* connection,
                         std::string* remaining) override {
    DWORD size = 0;
    char probe[1];
    DWORD rc = ::WNetGetUniversalNameA(root.c_str(), REMOTE_NAME_INFO_LEVEL, probe, &size);
    if (rc == NO_ERROR) return kErrorInvalidParameter;
    if (rc != ERROR_MORE_DATA) return rc;
    std::string buffer(size, '\0');
    rc = ::WNetGetUniversalNameA(root.c_str(), REMOTE_NAME_INFO_LEVEL, buffer.data(), &size);
    if (rc != NO_ERROR) return rc;
    const auto* info = reinterpret_cast<const REMOTE_NAME_INFOA*>(buffer.data());
    *connection = info->lpConnectionName ? info->lpConnectionName : "";
    *remaining = info->lpRemainingPath ? info->lpRemainingPath : "";
    return kErrorSuccess;
  }

  uint32_t GetVolumeInfo(const std::string& root, VolumeInfo* info) override {
    *info = {};
    char volume[256] = {}, fileSystem[256] = {};
    DWORD serial = 0, maxComponent = 0, flags = 0;
    if (!::GetVolumeInformationA(root.c_str(), volume, sizeof volume, &serial, &maxComponent,
                                 &flags, fileSystem, sizeof fileSystem)) {
      return Error();
    }
    info->volumeName = volume;
    info->serialNumber = serial;
    info->fileSystemFlags = flags;
    info->fileSystemName = fileSystem;
    return kErrorSuccess;
  }

  DaclResult ReadDacl(const std::string& path, Dacl* dacl) override {
    *dacl = {};
    DWORD size = 0;
    if (!::GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size) &&
        Error() != ERROR_INSUFFICIENT_BUFFER) {
      return Failed(DaclStep::kReadDescriptor);
    }
    std::string descriptor(size, '\0');
    auto* sd = reinterpret_cast<PSECURITY_DESCRIPTOR>(descriptor.data());
    if (!::GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, sd, size, &size)) {
      return Failed(DaclStep::kReadDescriptor);
    }
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    if (!::GetSecurityDescriptorDacl(sd, &present, &acl, &defaulted)) {
      return Failed(DaclStep::kTakeDacl);
    }
    dacl->present = present && acl;
    if (!dacl->present) return DaclResult{};
    ACL_SIZE_INFORMATION sizes{};
    if (!::GetAclInformation(acl, &sizes, sizeof sizes, AclSizeInformation)) {
      return Failed(DaclStep::kCountEntries);
    }
    for (DWORD i = 0; i < sizes.AceCount; ++i) {
      void* ace = nullptr;
      if (!::GetAce(acl, i, &ace)) return Failed(DaclStep::kTakeEntry);
      const auto* header = static_cast<const ACE_HEADER*>(ace);
      AccessEntry entry;
      entry.type = header->AceType;
      entry.flags = header->AceFlags;
      entry.mask = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header)->Mask;
      entry.sid = SidOfEntry(header);
      dacl->entries.push_back(std::move(entry));
    }
    return DaclResult{};
  }

  uint32_t LookupAccountSid(const std::string& system, const Sid& sid, Account* account) override {
    if (sid.empty()) return ERROR_INVALID_SID;
    char name[kNameBuffer] = {}, domain[kNameBuffer] = {};
    DWORD nameSize = kNameBuffer, domainSize = kNameBuffer;
    SID_NAME_USE use;
    Sid copy = sid;
    if (!::LookupAccountSidA(System(system), copy.data(), name, &nameSize, domain, &domainSize,
                             &use)) {
      return Error();
    }
    account->name = name;
    account->domain = domain;
    account->use = static_cast<uint32_t>(use);
    return kErrorSuccess;
  }

  uint32_t LookupAccountName(const std::string& system, const std::string& name, Sid* sid,
                             Account* account) override {
    DWORD sidSize = 0, domainSize = 0;
    SID_NAME_USE use;
    if (!::LookupAccountNameA(System(system), name.c_str(), nullptr, &sidSize, nullptr, &domainSize,
                              &use) &&
        Error() != ERROR_INSUFFICIENT_BUFFER) {
      return Error();
    }
    Sid found(sidSize);
    std::string domain(domainSize, '\0');
    if (!::LookupAccountNameA(System(system), name.c_str(), found.data(), &sidSize, domain.data(),
                              &domainSize, &use)) {
      return Error();
    }
    found.resize(::GetLengthSid(found.data()));
    *sid = std::move(found);
    account->name = name;
    account->domain = domain.c_str();
    account->use = static_cast<uint32_t>(use);
    return kErrorSuccess;
  }

  DaclResult WriteDacl(const std::string& path, const std::vector<AccessEntry>& entries) override {
    DWORD size = sizeof(ACL);
    for (const AccessEntry& entry : entries) {
      size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + static_cast<DWORD>(entry.sid.size());
    }
    // DWORD alignment, as InitializeAcl asks.
    std::vector<DWORD> aclBuffer((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    auto* acl = reinterpret_cast<PACL>(aclBuffer.data());
    if (!::InitializeAcl(acl, size, ACL_REVISION)) return Failed(DaclStep::kCreateDacl);
    for (DWORD i = 0; i < entries.size(); ++i) {
      Sid sid = entries[i].sid;
      if (!::AddAccessAllowedAce(acl, ACL_REVISION, entries[i].mask, sid.data())) {
        return Failed(DaclStep::kAddEntry);
      }
      void* ace = nullptr;
      if (!::GetAce(acl, i, &ace)) return Failed(DaclStep::kTakeEntry);
      static_cast<ACE_HEADER*>(ace)->AceFlags = entries[i].flags;
    }
    SECURITY_DESCRIPTOR descriptor;
    if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) {
      return Failed(DaclStep::kCreateDescriptor);
    }
    if (!::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE)) {
      return Failed(DaclStep::kAttachDacl);
    }
    if (!::SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, &descriptor)) {
      return Failed(DaclStep::kWriteDacl);
    }
    return DaclResult{};
  }

  uint32_t PlatformId() override {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!::GetVersionExA(&version)) return 0;
    return version.dwPlatformId;
  }

  bool Load() override {
    if (loaded_) return true;
    UINT previous = ::SetErrorMode(SEM_NOOPENFILEERRORBOX);
    HMODULE library = ::LoadLibraryA("advapi32.dll");
    ::SetErrorMode(previous);
    // The library stays loaded for the program's life.
    loaded_ = library && ::GetProcAddress(library, "SetNamedSecurityInfoA") != nullptr;
    return loaded_;
  }

 private:
  bool loaded_ = false;
};

}  // namespace

SecurityApi& PlatformSecurityApi() {
  static WindowsSecurityApi api;
  return api;
}

}  // namespace slv2::security
