// TFileSecurity: one file's or folder's DACL as a list of account entries with
// rights sets, read when the file name is set and written back on request.
//
// Read and write failures are not exceptions: each step reports once through
// OnGetSecurity or OnSetSecurity (Error 0 for success, a Windows error code or
// one of the codes below; Location: the step). EFileSecurityError comes only
// from index checks and from account lookups in AddAccount and WriteSecurity.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "products/FileRights.h"
#include "products/SecurityApi.h"
#include "sys/Exception.h"

namespace slv2 {

SLV2_DECLARE_EXCEPTION(EFileSecurityError, Exception);

// Codes of the component's own, beside the Windows error codes.
enum : uint32_t {
  kFileSecNoAcls = 0xFFFFFFFE,  // the volume keeps no access lists
  kFileSecNoDacl = 0xFFFFFFFF,  // the DACL is absent or has no entry
};

// One account entry. For a file FileRights are the file's rights; for a
// folder FileRights are what the files inside inherit and FolderRights what
// applies to the folder itself.
struct TSecurityListItem {
  std::string AccountName;
  std::string DomainName;
  uint8_t SidUse = 0;  // SID_NAME_USE 1..8, 0 for anything else
  TFileRights FileRights;
  TFileRights FolderRights;
  bool operator==(const TSecurityListItem&) const = default;
};

class TFileSecurity;
using TFileSecurityEvent =
    std::function<void(TFileSecurity& sender, uint32_t error, uint32_t location)>;

class TFileSecurity {
 public:
  explicit TFileSecurity(security::SecurityApi& api = security::PlatformSecurityApi());
  TFileSecurity(const TFileSecurity&) = delete;
  TFileSecurity& operator=(const TFileSecurity&) = delete;

  const std::string& FileName() const { return fileName_; }
  // Takes another object and reads its DACL; the same name again does
  // nothing. Paths longer than 255 characters are refused
  // (ERROR_FILENAME_EXCED_RANGE, location 0).
  void SetFileName(const std::string& path);

  int Count() const { return static_cast<int>(items_.size()); }
  const TSecurityListItem& Item(int index) const;
  TSecurityListItem& Item(int index);

  // Adds an entry for an account looked up on `systemName` (empty: this
  // machine); the result is its index.
  int AddAccount(const std::string& systemName, const std::string& accountName);
  void DeleteEntry(int index);
  // Full control for the entry, as far as the held object is a file or folder.
  TSecurityListItem& GrantFullControl(int index);
  void ReadSecurity();
  void WriteSecurity();

  const std::string& SystemName() const { return systemName_; }
  const std::string& ComputerName() const { return computerName_; }
  const std::string& VolumeName() const { return volume_.volumeName; }
  const std::string& FileSystemName() const { return volume_.fileSystemName; }
  uint32_t VolumeSerialNumber() const { return volume_.serialNumber; }
  bool IsFile() const { return isFile_; }
  bool IsFolder() const { return isFolder_; }
  bool IsNetwork() const { return isNetwork_; }

  TFileSecurityEvent OnGetSecurity;
  TFileSecurityEvent OnSetSecurity;

 private:
  void CheckIndex(int index) const;
  void ReportGet(uint32_t error, uint32_t location);
  void ReportSet(uint32_t error, uint32_t location);
  // Drops the held object after a failed step of SetFileName.
  void Drop(uint32_t error);

  security::SecurityApi& api_;
  std::string fileName_;
  std::vector<TSecurityListItem> items_;
  std::string systemName_;
  std::string computerName_;
  security::VolumeInfo volume_;
  bool isFile_ = false;
  bool isFolder_ = false;
  bool isNetwork_ = false;
};

// Keeps what the last write step reported (assigned to OnSetSecurity).
class TFileSecHandlers {
 public:
  void SetSecurity(TFileSecurity& sender, uint32_t error, uint32_t location);
  uint32_t Error = 0;
  uint32_t Location = 0;
};

}  // namespace slv2
