#include "products/FileSecurity.h"

#include <optional>

#include "sys/FileLayer.h"
#include "sys/WinError.h"

namespace slv2 {
namespace {

using security::AccessEntry;
using security::DaclStep;

// The read and write steps take paths of at most this many characters.
constexpr size_t kMaxPathLength = 255;
constexpr uint32_t kErrorDriveUnknown = 13;
constexpr uint32_t kErrorNoRootDir = 14;

bool IsDelimiter(char c) {
  return c == '\\' || c == '/';
}

// A path in POSIX form starts with a single "/"; it has no drive, and the
// layer finds the volume that holds it.
bool IsPosixForm(const std::string& path) {
  return !path.empty() && path[0] == '/' && (path.size() == 1 || !IsDelimiter(path[1]));
}

bool IsDriveLetter(const std::string& drive) {
  return drive.size() == 2 && drive[1] == ':';
}

// "C:" of "C:\x", "\\srv\share" of "\\srv\share\x", "" for anything else.
std::string DrivePart(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  if (path.size() < 2 || !IsDelimiter(path[0]) || !IsDelimiter(path[1])) return std::string();
  size_t end = 2;
  for (int part = 0; part < 2 && end < path.size(); ++part) {
    if (part > 0) ++end;
    while (end < path.size() && !IsDelimiter(path[end]))
      ++end;
  }
  if (end > 2 && IsDelimiter(path[end - 1])) --end;  // "\\srv\" names the server alone
  return path.substr(0, end);
}

// "srv" of the connection name "\\srv\share".
std::string ServerOf(const std::string& connection) {
  if (connection.size() < 2) return std::string();
  size_t end = connection.find('\\', 2);
  return connection.substr(2, end == std::string::npos ? std::string::npos : end - 2);
}

std::string AsciiUpper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// Built-in and well-known accounts belong to the machine that answered.
std::string DomainOr(const std::string& domain, const std::string& machine) {
  std::string upper = AsciiUpper(domain);
  if (upper.empty() || upper == "BUILTIN" || upper == "NT AUTHORITY") return machine;
  return domain;
}

uint8_t SidUseOf(uint32_t use) {
  return use >= 1 && use <= 8 ? static_cast<uint8_t>(use) : 0;
}

uint32_t LocationOf(DaclStep step) {
  return static_cast<uint32_t>(step);
}

}  // namespace

TFileSecurity::TFileSecurity(security::SecurityApi& api) : api_(api) {}

const TSecurityListItem& TFileSecurity::Item(int index) const {
  CheckIndex(index);
  return items_[index];
}

TSecurityListItem& TFileSecurity::Item(int index) {
  CheckIndex(index);
  return items_[index];
}

void TFileSecurity::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) {
    throw EFileSecurityError("Index [" + std::to_string(index) + "] is out of bounds.");
  }
}

void TFileSecurity::ReportGet(uint32_t error, uint32_t location) {
  if (OnGetSecurity) OnGetSecurity(*this, error, location);
}

void TFileSecurity::ReportSet(uint32_t error, uint32_t location) {
  if (OnSetSecurity) OnSetSecurity(*this, error, location);
}

void TFileSecurity::Drop(uint32_t error) {
  fileName_.clear();
  ReportGet(error, 0);
}

void TFileSecurity::SetFileName(const std::string& newName) {
  if (newName == fileName_) return;
  computerName_ = api_.ComputerName();
  systemName_ = computerName_;
  volume_ = {};
  isFile_ = isFolder_ = isNetwork_ = false;
  // Entries belong to the object they were read from.
  items_.clear();
  std::string path = newName;
  if (path.size() > kMaxPathLength) return Drop(kErrorFilenameExcedRange);

  std::string drive = DrivePart(path);
  if (!drive.empty() && path == drive) path += '\\';
  std::string root = IsPosixForm(path) ? path : drive + '\\';
  uint32_t driveType = api_.DriveType(root);
  if (driveType == security::kDriveUnknown) return Drop(kErrorDriveUnknown);
  if (driveType == security::kDriveNoRootDir) return Drop(kErrorNoRootDir);
  if (driveType == security::kDriveRemote) {
    isNetwork_ = true;
    // Accounts of a mapped drive live on its server; those of a UNC path are
    // resolved on this machine.
    std::string connection, remaining;
    if (IsDriveLetter(drive) && api_.UniversalName(root, &connection, &remaining) == 0) {
      systemName_ = ServerOf(connection);
      root = connection + remaining;
    }
  }

  if (uint32_t error = api_.GetVolumeInfo(root, &volume_)) {
    volume_ = {};
    return Drop(error);
  }
  uint32_t attributes = fs::GetFileAttributes(path);
  bool exists = attributes != fs::kInvalidFileAttributes;
  isFolder_ = exists && (attributes & fs::kAttrDirectory);
  isFile_ = exists && !isFolder_;
  if (!(volume_.fileSystemFlags & security::kFsPersistentAcls)) return Drop(kFileSecNoAcls);
  fileName_ = path;
  ReadSecurity();
}

void TFileSecurity::ReadSecurity() {
  if (fileName_.empty()) return ReportGet(kErrorFileNotFound, 0);
  items_.clear();
  security::Dacl dacl;
  security::DaclResult read = api_.ReadDacl(fileName_, &dacl);
  bool entryFailed = read.error != 0 && read.step == DaclStep::kTakeEntry;
  if (read.error != 0 && !entryFailed) return ReportGet(read.error, LocationOf(read.step));
  if (!entryFailed && (!dacl.present || dacl.entries.empty())) {
    return ReportGet(kFileSecNoDacl, LocationOf(DaclStep::kCountEntries));
  }

  // Consecutive entries of one account make one item. The account is told by
  // its identifier: a user and a group may share a name.
  std::optional<TSecurityListItem> item;
  const security::Sid* previous = nullptr;
  for (const AccessEntry& entry : dacl.entries) {
    security::Account account;
    if (uint32_t error = api_.LookupAccountSid(systemName_, entry.sid, &account)) {
      return ReportGet(error, 5);
    }
    if (!previous || entry.sid != *previous) {
      if (item) items_.push_back(std::move(*item));
      item.emplace();
      item->DomainName = DomainOr(account.domain, systemName_);
      item->SidUse = SidUseOf(account.use);
    }
    previous = &entry.sid;
    item->AccountName = account.name;
    if (entry.type != security::kAccessAllowedAceType) continue;
    if (isFile_) {
      item->FileRights = AccessMaskToRights(entry.mask);
    } else if (isFolder_ && (entry.flags & security::kContainerInheritAce)) {
      item->FolderRights = AccessMaskToRights(entry.mask);
    } else if (isFolder_) {
      item->FileRights = GenericMaskToRights(entry.mask);
    }
  }
  if (entryFailed) return ReportGet(read.error, LocationOf(DaclStep::kTakeEntry));
  if (item) items_.push_back(std::move(*item));
  ReportGet(0, 0);
}

int TFileSecurity::AddAccount(const std::string& systemName, const std::string& accountName) {
  security::Sid sid;
  security::Account account;
  if (uint32_t error = api_.LookupAccountName(systemName, accountName, &sid, &account)) {
    throw EFileSecurityError(SysErrorMessage(error));
  }
  TSecurityListItem item;
  item.AccountName = accountName;
  item.DomainName = DomainOr(account.domain, systemName.empty() ? api_.ComputerName() : systemName);
  item.SidUse = SidUseOf(account.use);
  items_.push_back(std::move(item));
  return Count() - 1;
}

void TFileSecurity::DeleteEntry(int index) {
  CheckIndex(index);
  items_.erase(items_.begin() + index);
}

TSecurityListItem& TFileSecurity::GrantFullControl(int index) {
  CheckIndex(index);
  TSecurityListItem& item = items_[index];
  if (isFolder_) {
    item.FileRights = item.FolderRights = {frFullControl};
  } else if (isFile_) {
    item.FileRights = {frFullControl};
  }
  return item;
}

void TFileSecurity::WriteSecurity() {
  std::vector<AccessEntry> entries;
  for (const TSecurityListItem& item : items_) {
    bool fileEntry = !item.FileRights.Empty();
    bool folderEntry = isFolder_ && !item.FolderRights.Empty();
    if (!fileEntry && !folderEntry) continue;
    security::Sid sid;
    security::Account account;
    if (uint32_t error = api_.LookupAccountName(systemName_, item.AccountName, &sid, &account)) {
      throw EFileSecurityError(SysErrorMessage(error));
    }
    // A folder hands FileRights down to the files inside it and keeps
    // FolderRights for itself and its subfolders.
    if (!isFolder_) {
      entries.push_back({security::kAccessAllowedAceType, security::kObjectInheritAce,
                         RightsToAccessMask(item.FileRights), sid});
      continue;
    }
    if (fileEntry) {
      entries.push_back({security::kAccessAllowedAceType,
                         security::kObjectInheritAce | security::kInheritOnlyAce,
                         RightsToGenericMask(item.FileRights), sid});
    }
    if (folderEntry) {
      entries.push_back({security::kAccessAllowedAceType, security::kContainerInheritAce,
                         RightsToAccessMask(item.FolderRights), sid});
    }
  }
  if (fileName_.empty()) return ReportSet(kErrorFileNotFound, LocationOf(DaclStep::kWriteDacl));
  security::DaclResult written = api_.WriteDacl(fileName_, entries);
  ReportSet(written.error, written.error ? LocationOf(written.step) : 0);
}

void TFileSecHandlers::SetSecurity(TFileSecurity&, uint32_t error, uint32_t location) {
  Error = error;
  Location = location;
}

}  // namespace slv2
