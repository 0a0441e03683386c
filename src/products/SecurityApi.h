// The thin platform layer under the file-permission component: each operation
// stands for one Windows call, or for the short fixed sequence of calls that
// reads or writes a file's DACL, so that the Windows twin only forwards
// (kernel32, mpr, advapi32). The Linux twin (SecurityApi_posix.cpp) maps the
// same model onto POSIX access lists (PosixAcl.h) and the name service
// (UnixAccounts.h).
//
// Paths are program strings. Operations that can fail return 0 or a Windows
// error code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace slv2::security {

// An account identifier in the binary form of a Windows SID; the component
// only compares and passes them on.
using Sid = std::vector<uint8_t>;

enum : uint32_t {
  kDriveUnknown = 0,
  kDriveNoRootDir = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdrom = 5,
  kDriveRamdisk = 6,
};
enum : uint32_t { kFsPersistentAcls = 0x8 };
enum : uint32_t { kVerPlatformWin32Nt = 2 };
enum : uint8_t { kAccessAllowedAceType = 0, kAccessDeniedAceType = 1 };
enum : uint8_t { kObjectInheritAce = 0x1, kContainerInheritAce = 0x2, kInheritOnlyAce = 0x8 };

struct VolumeInfo {
  std::string volumeName;
  uint32_t serialNumber = 0;
  uint32_t fileSystemFlags = 0;
  std::string fileSystemName;
};

// One access entry of a DACL: header type and flags, access mask, account.
struct AccessEntry {
  uint8_t type = kAccessAllowedAceType;
  uint8_t flags = 0;
  uint32_t mask = 0;
  Sid sid;
  bool operator==(const AccessEntry&) const = default;
};

// The result of an account lookup; `use` is the SID_NAME_USE value.
struct Account {
  std::string name;
  std::string domain;
  uint32_t use = 0;
};

// The platform call of a DACL read or write that failed. The values are the
// locations the component reports for them.
enum class DaclStep : uint32_t {
  kNone = 0,
  kReadDescriptor = 1,
  kTakeDacl = 2,
  kCountEntries = 3,
  kTakeEntry = 4,
  kCreateDacl = 6,
  kAddEntry = 8,
  kCreateDescriptor = 10,
  kAttachDacl = 11,
  kWriteDacl = 12,
};

struct DaclResult {
  uint32_t error = 0;
  DaclStep step = DaclStep::kNone;
};

// A file's DACL as read: `present` is false for a descriptor without one.
struct Dacl {
  bool present = false;
  std::vector<AccessEntry> entries;
};

class SecurityApi {
 public:
  virtual ~SecurityApi() = default;

  // GetComputerNameA: at most 15 characters.
  virtual std::string ComputerName() = 0;
  // GetDriveTypeA of a volume root (or, for a path in POSIX form, of the
  // volume holding it).
  virtual uint32_t DriveType(const std::string& root) = 0;
  // WNetGetUniversalNameA of a mapped drive's root: the connection name
  // ("\\server\share") and the path remaining below it.
  virtual uint32_t UniversalName(const std::string& root, std::string* connection,
                                 std::string* remaining) = 0;
  // GetVolumeInformationA; kFsPersistentAcls tells whether the volume keeps
  // access lists.
  virtual uint32_t GetVolumeInfo(const std::string& root, VolumeInfo* info) = 0;
  // GetFileSecurityA (DACL only) and the walk over the DACL's entries. When
  // taking an entry fails, `dacl` holds the entries before it.
  virtual DaclResult ReadDacl(const std::string& path, Dacl* dacl) = 0;
  // LookupAccountSidA on `system` (empty: this machine).
  virtual uint32_t LookupAccountSid(const std::string& system, const Sid& sid,
                                    Account* account) = 0;
  // LookupAccountNameA on `system` (empty: this machine); `account` receives
  // the domain and use (its name stays as given).
  virtual uint32_t LookupAccountName(const std::string& system, const std::string& name, Sid* sid,
                                     Account* account) = 0;
  // Builds a DACL of access-allowed entries in the given order, with their
  // flags, and sets it as the object's DACL (SetFileSecurityA): owner, group
  // and audit entries stay. On failure the object's DACL is unchanged.
  virtual DaclResult WriteDacl(const std::string& path,
                               const std::vector<AccessEntry>& entries) = 0;
  // The platform identifier of GetVersionEx.
  virtual uint32_t PlatformId() = 0;
  // Loads the platform's security library once: true once it is usable (a
  // success is kept, a failure is tried again on the next call).
  virtual bool Load() = 0;
};

// The layer of the running platform.
SecurityApi& PlatformSecurityApi();

}  // namespace slv2::security
