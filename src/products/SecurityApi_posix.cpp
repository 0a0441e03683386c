// Linux twin of the security layer: volumes from statfs and the mount table,
// accounts from the name service (UnixAccounts.h), DACLs over POSIX access
// lists (PosixAcl.h). Linux keeps access lists, so it answers as an NT-family
// system.
#include <mntent.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "products/PosixAcl.h"
#include "products/SecurityApi.h"
#include "products/UnixAccounts.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/FileLayerResolve_posix.h"
#include "sys/WinError.h"

namespace slv2::security {
namespace {

constexpr size_t kMaxComputerName = 15;

// File system types (statfs f_type) by the kind of drive Windows would call
// them.
constexpr uint32_t kRemoteFileSystems[] = {
    0x6969,      // nfs
    0x517B,      // smb
    0xFF534D42,  // cifs
    0xFE534D42,  // smb2
    0x5346414F,  // afs
    0x73757245,  // coda
    0x01021997,  // 9p
    0x00C36400,  // ceph
};
constexpr uint32_t kCdromFileSystems[] = {0x9660, 0x15013346};    // iso9660, udf
constexpr uint32_t kRamFileSystems[] = {0x01021994, 0x858458F6};  // tmpfs, ramfs

template <size_t N>
bool OneOf(uint32_t type, const uint32_t (&types)[N]) {
  for (uint32_t candidate : types) {
    if (candidate == type) return true;
  }
  return false;
}

// The nearest file or folder at or above `path` that exists, opened: a
// volume is known by any path on it, also by one that is still to be created.
fs::posix::Fd NearestExisting(const std::string& path) {
  std::string current = path.empty() ? "." : path;
  for (;;) {
    struct stat st;
    fs::posix::Fd object = fs::posix::OpenObject(current, &st);
    uint32_t error = fs::LastError();
    if (object.Valid() || (error != kErrorFileNotFound && error != kErrorPathNotFound)) {
      return object;
    }
    if (current == "/" || current == ".") return object;
    size_t slash = current.find_last_of("/\\");
    current = slash == std::string::npos ? "." : slash == 0 ? "/" : current.substr(0, slash);
  }
}

// Source and type of the mount that holds `existing`: the mount table entry
// with the longest mount point above it (the last one of equal length, which
// covers the others).
void DescribeMount(int existing, VolumeInfo* info) {
  std::string path = fs::posix::RealPathOf(existing);
  if (path.empty()) return;
  FILE* table = ::setmntent("/proc/self/mounts", "r");
  if (!table) return;
  size_t best = 0;
  mntent entry;
  char buffer[4096];
  while (::getmntent_r(table, &entry, buffer, sizeof buffer)) {
    std::string dir = entry.mnt_dir;
    bool above = dir == "/" || path == dir || path.compare(0, dir.size() + 1, dir + "/") == 0;
    if (above && dir.size() >= best) {
      best = dir.size();
      info->volumeName = Utf8ToAnsi(entry.mnt_fsname);
      info->fileSystemName = Utf8ToAnsi(entry.mnt_type);
    }
  }
  ::endmntent(table);
}

class PosixSecurityApi final : public SecurityApi {
 public:
  std::string ComputerName() override {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return std::string();
    std::string host = name;
    return host.substr(0, std::min(host.find('.'), kMaxComputerName));
  }

  uint32_t DriveType(const std::string& root) override {
    fs::posix::Fd existing = NearestExisting(root);
    struct statfs volume;
    if (!existing.Valid() || ::fstatfs(existing.Get(), &volume) != 0) return kDriveNoRootDir;
    uint32_t type = static_cast<uint32_t>(volume.f_type);
    if (OneOf(type, kRemoteFileSystems)) return kDriveRemote;
    if (OneOf(type, kCdromFileSystems)) return kDriveCdrom;
    if (OneOf(type, kRamFileSystems)) return kDriveRamdisk;
    return kDriveFixed;
  }

  // Linux has no drive letters to map: network volumes are reached by their
  // POSIX paths, whose accounts the local name service resolves.
  uint32_t UniversalName(const std::string&, std::string*, std::string*) override {
    return kErrorNotSupported;
  }

  uint32_t GetVolumeInfo(const std::string& root, VolumeInfo* info) override {
    *info = {};
    fs::posix::Fd existing = NearestExisting(root);
    struct statfs volume;
    if (!existing.Valid()) return fs::LastError();
    if (::fstatfs(existing.Get(), &volume) != 0) return fs::posix::FromErrno(errno);
    info->serialNumber = static_cast<uint32_t>(volume.f_fsid.__val[0]) ^
                         static_cast<uint32_t>(volume.f_fsid.__val[1]);
    DescribeMount(existing.Get(), info);
    // A file system without access lists says so for any of its files; any
    // other failure is left to the read, which reports it.
    acl_t probe = acl_get_file(fs::posix::DescriptorPath(existing.Get()).c_str(), ACL_TYPE_ACCESS);
    if (probe || errno != ENOTSUP) info->fileSystemFlags |= kFsPersistentAcls;
    if (probe) acl_free(probe);
    return kErrorSuccess;
  }

  DaclResult ReadDacl(const std::string& path, Dacl* dacl) override {
    return ReadPosixAcl(path, dacl);
  }

  // The system name does not matter: a Linux machine resolves every account,
  // also those of a network volume, through its own name service.
  uint32_t LookupAccountSid(const std::string&, const Sid& sid, Account* account) override {
    Principal principal;
    if (!PrincipalOf(sid, &principal)) return kErrorNoneMapped;
    return LookupUnixPrincipal(principal, account);
  }

  uint32_t LookupAccountName(const std::string&, const std::string& name, Sid* sid,
                             Account* account) override {
    Principal principal;
    uint32_t error = LookupUnixName(name, &principal, account);
    if (error == kErrorSuccess) *sid = SidOf(principal);
    return error;
  }

  DaclResult WriteDacl(const std::string& path, const std::vector<AccessEntry>& entries) override {
    return WritePosixAcl(path, entries);
  }

  uint32_t PlatformId() override { return kVerPlatformWin32Nt; }

  bool Load() override {
    if (!loaded_) {
      acl_t probe = acl_init(1);
      loaded_ = probe != nullptr;
      if (probe) acl_free(probe);
    }
    return loaded_;
  }

 private:
  bool loaded_ = false;
};

}  // namespace

SecurityApi& PlatformSecurityApi() {
  static PosixSecurityApi api;
  return api;
}

}  // namespace slv2::security
