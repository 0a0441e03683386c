#include <acl/libacl.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <type_traits>
#include <utility>

#include "products/FileRights.h"
#include "products/PosixAcl.h"
#include "products/UnixAccounts.h"
#include "sys/FileLayer.h"
#include "sys/FileLayerResolve_posix.h"
#include "sys/WinError.h"

namespace slv2::security {
namespace {

using Perms = unsigned;
constexpr Perms kR = 4, kW = 2, kX = 1, kRwx = 7;
constexpr uint32_t kFileReadData = 0x1, kFileWriteData = 0x2, kFileExecute = 0x20;

struct AclFree {
  void operator()(void* acl) const { acl_free(acl); }
};
using AclPtr = std::unique_ptr<std::remove_pointer_t<acl_t>, AclFree>;

DaclResult Failed(DaclStep step) {
  return {fs::posix::FromErrno(errno), step};
}

// Accounts of one list in the order POSIX keeps them: the owner, named users,
// the owning group, named groups (Everyone is `other`, always last).
enum Rank : int { kOwner, kNamedUser, kOwningGroup, kNamedGroup };
using Key = std::pair<int, uint32_t>;  // rank, uid or gid

struct AclView {
  std::map<Key, Perms> accounts;
  Perms other = 0;
};

Key KeyOf(Principal who, const struct stat& st) {
  if (who.kind == Principal::kUser) return {who.id == st.st_uid ? kOwner : kNamedUser, who.id};
  return {who.id == st.st_gid ? kOwningGroup : kNamedGroup, who.id};
}

Principal PrincipalOfKey(Key key) {
  return {key.first <= kNamedUser ? Principal::kUser : Principal::kGroup, key.second};
}

Perms PermsOfMask(uint32_t mask) {
  if (mask & kGenericAll) return kRwx;
  Perms perms = 0;
  if (mask & (kFileReadData | kGenericRead)) perms |= kR;
  if (mask & (kFileWriteData | kGenericWrite)) perms |= kW;
  if (mask & (kFileExecute | kGenericExecute)) perms |= kX;
  return perms;
}

uint32_t MaskOf(Perms perms, bool generic) {
  if (perms == kRwx) return generic ? kGenericAll : kFileAllAccess;
  uint32_t mask = 0;
  if (perms & kR) mask |= generic ? kGenericRead : kFileGenericRead;
  if (perms & kW) mask |= generic ? kGenericWrite : kFileGenericWrite;
  if (perms & kX) mask |= generic ? kGenericExecute : kFileGenericExecute;
  return mask;
}

struct RawEntry {
  acl_tag_t tag;
  uint32_t id;  // of a named user or group, else 0
  Perms perms;
};

// Every entry of a list as it is stored; false with errno set when the list
// cannot be walked.
bool RawEntries(acl_t acl, std::vector<RawEntry>* out) {
  acl_entry_t entry;
  for (int which = ACL_FIRST_ENTRY;; which = ACL_NEXT_ENTRY) {
    int got = acl_get_entry(acl, which, &entry);
    if (got < 0) return false;
    if (got == 0) return true;
    acl_tag_t tag;
    acl_permset_t set;
    if (acl_get_tag_type(entry, &tag) != 0 || acl_get_permset(entry, &set) != 0) return false;
    Perms perms = (acl_get_perm(set, ACL_READ) > 0 ? kR : 0) |
                  (acl_get_perm(set, ACL_WRITE) > 0 ? kW : 0) |
                  (acl_get_perm(set, ACL_EXECUTE) > 0 ? kX : 0);
    uint32_t id = 0;
    if (tag == ACL_USER || tag == ACL_GROUP) {
      void* qualifier = acl_get_qualifier(entry);
      if (!qualifier) return false;
      id = *static_cast<id_t*>(qualifier);
      acl_free(qualifier);
    }
    out->push_back({tag, id, perms});
  }
}

// The permissions that apply through each entry (group-class entries limited
// by the mask); false with errno set when the list cannot be walked.
bool ViewOf(acl_t acl, const struct stat& st, AclView* view) {
  std::vector<RawEntry> raw;
  if (!RawEntries(acl, &raw)) return false;
  Perms mask = kRwx;
  for (const RawEntry& r : raw) {
    if (r.tag == ACL_MASK) mask = r.perms;
  }
  for (const RawEntry& r : raw) {
    switch (r.tag) {
      case ACL_USER_OBJ:
        view->accounts[{kOwner, st.st_uid}] = r.perms;
        break;
      // A named entry for the owner never applies: the owner's entry does.
      case ACL_USER:
        if (r.id != st.st_uid) view->accounts[{kNamedUser, r.id}] |= r.perms & mask;
        break;
      case ACL_GROUP_OBJ:
        view->accounts[{kOwningGroup, st.st_gid}] |= r.perms & mask;
        break;
      case ACL_GROUP:
        view->accounts[KeyOf({Principal::kGroup, r.id}, st)] |= r.perms & mask;
        break;
      case ACL_OTHER:
        view->other = r.perms;
        break;
      default:
        break;
    }
  }
  return true;
}

// The entries of one account of a list: what it holds beyond Everyone's
// rights is allowed, what it lacks of them is denied.
void AppendAccount(Principal who, Perms perms, Perms everyone, uint8_t flags, bool generic,
                   std::vector<AccessEntry>* out) {
  if (perms == everyone) return;
  if (perms != 0)
    out->push_back({kAccessAllowedAceType, flags, MaskOf(perms, generic), SidOf(who)});
  if (Perms denied = everyone & ~perms) {
    out->push_back({kAccessDeniedAceType, flags, MaskOf(denied, generic), SidOf(who)});
  }
}

void AppendEveryone(Perms everyone, uint8_t flags, bool generic, std::vector<AccessEntry>* out) {
  if (everyone != 0) {
    out->push_back({kAccessAllowedAceType, flags, MaskOf(everyone, generic), SidOf({})});
  }
}

bool AddAclEntry(acl_t* acl, acl_tag_t tag, uint32_t id, Perms perms) {
  acl_entry_t entry;
  acl_permset_t set;
  if (acl_create_entry(acl, &entry) != 0 || acl_set_tag_type(entry, tag) != 0) return false;
  if (tag == ACL_USER || tag == ACL_GROUP) {
    id_t qualifier = id;
    if (acl_set_qualifier(entry, &qualifier) != 0) return false;
  }
  if (acl_get_permset(entry, &set) != 0 || acl_clear_perms(set) != 0) return false;
  if ((perms & kR) && acl_add_perm(set, ACL_READ) != 0) return false;
  if ((perms & kW) && acl_add_perm(set, ACL_WRITE) != 0) return false;
  if ((perms & kX) && acl_add_perm(set, ACL_EXECUTE) != 0) return false;
  return acl_set_permset(entry, set) == 0;
}

// The access list of a view: every account gets Everyone's permissions on
// top, the owner and owning group are always there, `keep` limits them all.
DaclResult BuildAcl(const AclView& view, const struct stat& st, Perms keep, AclPtr* out) {
  std::map<Key, Perms> accounts = view.accounts;
  accounts[{kOwner, st.st_uid}];
  accounts[{kOwningGroup, st.st_gid}];
  acl_t acl = acl_init(static_cast<int>(accounts.size() + 2));
  if (!acl) return Failed(DaclStep::kCreateDacl);
  out->reset(acl);
  static constexpr acl_tag_t kTags[] = {ACL_USER_OBJ, ACL_USER, ACL_GROUP_OBJ, ACL_GROUP};
  bool named = false;
  for (const auto& [key, perms] : accounts) {
    named = named || key.first == kNamedUser || key.first == kNamedGroup;
    acl_t raw = out->release();
    bool added = AddAclEntry(&raw, kTags[key.first], key.second, (perms | view.other) & keep);
    out->reset(raw);
    if (!added) return Failed(DaclStep::kAddEntry);
  }
  acl_t raw = out->release();
  bool added = AddAclEntry(&raw, ACL_OTHER, 0, view.other & keep);
  int masked = added && named ? acl_calc_mask(&raw) : 0;
  out->reset(raw);
  if (!added) return Failed(DaclStep::kAddEntry);
  if (masked != 0 || acl_valid(out->get()) != 0) return Failed(DaclStep::kAttachDacl);
  return {};
}

void Grant(AclView* view, Principal who, Perms perms, const struct stat& st) {
  if (who.kind == Principal::kEveryone) {
    view->other |= perms;
  } else {
    view->accounts[KeyOf(who, st)] |= perms;
  }
}

// libacl writes a folder's default list by path only: the list goes to its
// extended attribute through the descriptor instead, in the kernel's
// format (a version, then tag, permissions and id of each entry, sorted).
constexpr const char* kDefaultList = "system.posix_acl_default";
constexpr uint32_t kXattrVersion = 2;
constexpr uint32_t kUndefinedId = 0xFFFFFFFF;

void PutLe(std::string* out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool AclXattr(acl_t acl, std::string* out) {
  struct Entry {
    uint32_t tag, perms, id;
  };
  std::vector<RawEntry> raw;
  if (!RawEntries(acl, &raw)) return false;
  std::vector<Entry> entries;
  for (const RawEntry& r : raw) {
    bool named = r.tag == ACL_USER || r.tag == ACL_GROUP;
    entries.push_back({static_cast<uint32_t>(r.tag), r.perms, named ? r.id : kUndefinedId});
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.tag != b.tag ? a.tag < b.tag : a.id < b.id;
  });
  out->clear();
  PutLe(out, kXattrVersion, 4);
  for (const Entry& e : entries) {
    PutLe(out, e.tag, 2);
    PutLe(out, e.perms, 2);
    PutLe(out, e.id, 4);
  }
  return true;
}

// Sets or (null `acl`) removes a folder's default list.
bool SetDefaultList(int folder, acl_t acl) {
  if (!acl) return ::fremovexattr(folder, kDefaultList) == 0 || errno == ENODATA;
  std::string value;
  if (!AclXattr(acl, &value)) return false;
  return ::fsetxattr(folder, kDefaultList, value.data(), value.size(), 0) == 0;
}

}  // namespace

DaclResult ReadPosixAcl(const std::string& path, Dacl* dacl) {
  *dacl = {};
  struct stat st;
  fs::posix::Fd object = fs::posix::OpenObject(path, &st);
  if (!object.Valid()) return {fs::LastError(), DaclStep::kReadDescriptor};
  std::string native = fs::posix::DescriptorPath(object.Get());
  AclPtr access(acl_get_file(native.c_str(), ACL_TYPE_ACCESS));
  if (!access) return Failed(DaclStep::kReadDescriptor);
  AclView own, inherited;
  if (!ViewOf(access.get(), st, &own)) return Failed(DaclStep::kTakeEntry);
  dacl->present = true;
  std::vector<AccessEntry>& out = dacl->entries;
  if (!S_ISDIR(st.st_mode)) {
    for (const auto& [key, perms] : own.accounts) {
      AppendAccount(PrincipalOfKey(key), perms, own.other, 0, false, &out);
    }
    AppendEveryone(own.other, 0, false, &out);
    return {};
  }

  AclPtr defaults(acl_get_file(native.c_str(), ACL_TYPE_DEFAULT));
  if (!defaults) return Failed(DaclStep::kReadDescriptor);
  bool inherits = acl_entries(defaults.get()) > 0;
  if (inherits && !ViewOf(defaults.get(), st, &inherited)) return Failed(DaclStep::kTakeEntry);
  // Each account's entries stay together: first what files inside inherit,
  // then what applies to the folder, as the Windows side writes them.
  constexpr uint8_t kFileFlags = kObjectInheritAce | kInheritOnlyAce;
  constexpr uint8_t kFolderFlags = kContainerInheritAce;
  std::set<Key> keys;
  for (const auto& [key, perms] : own.accounts)
    keys.insert(key);
  for (const auto& [key, perms] : inherited.accounts)
    keys.insert(key);
  for (const Key& key : keys) {
    Principal who = PrincipalOfKey(key);
    if (auto it = inherited.accounts.find(key); it != inherited.accounts.end()) {
      AppendAccount(who, it->second, inherited.other, kFileFlags, true, &out);
    }
    if (auto it = own.accounts.find(key); it != own.accounts.end()) {
      AppendAccount(who, it->second, own.other, kFolderFlags, false, &out);
    }
  }
  if (inherits) AppendEveryone(inherited.other, kFileFlags, true, &out);
  AppendEveryone(own.other, kFolderFlags, false, &out);
  return {};
}

DaclResult WritePosixAcl(const std::string& path, const std::vector<AccessEntry>& entries) {
  struct stat st;
  fs::posix::Fd object = fs::posix::OpenForChange(path, &st);
  if (!object.Valid()) return {fs::LastError(), DaclStep::kWriteDacl};
  return WritePosixAclAt(object.Get(), st, entries);
}

DaclResult WritePosixAclAt(int object, const struct stat& st,
                           const std::vector<AccessEntry>& entries) {
  bool isFolder = S_ISDIR(st.st_mode);
  AclView own, inherited;
  bool inherits = false;
  for (const AccessEntry& entry : entries) {
    Principal who;
    if (entry.type != kAccessAllowedAceType || !PrincipalOf(entry.sid, &who)) {
      return {kErrorInvalidParameter, DaclStep::kAddEntry};
    }
    Perms perms = PermsOfMask(entry.mask);
    if (!(entry.flags & kInheritOnlyAce)) Grant(&own, who, perms, st);
    if (isFolder && (entry.flags & kObjectInheritAce)) {
      Grant(&inherited, who, perms, st);
      inherits = true;
    }
  }
  bool readOnly = !isFolder && !(st.st_mode & S_IWUSR);
  AclPtr access, defaults;
  DaclResult built = BuildAcl(own, st, readOnly ? kRwx & ~kW : kRwx, &access);
  if (built.error == 0 && inherits) built = BuildAcl(inherited, st, kRwx, &defaults);
  if (built.error != 0) return built;

  if (!isFolder) {
    if (acl_set_fd(object, access.get()) != 0) return Failed(DaclStep::kWriteDacl);
    return {};
  }
  // Two lists are two writes: the folder's old default list is put back when
  // the second write fails, so that a failed write changes nothing.
  ssize_t size = ::fgetxattr(object, kDefaultList, nullptr, 0);
  std::vector<char> previous(size > 0 ? static_cast<size_t>(size) : 0);
  if (size > 0) size = ::fgetxattr(object, kDefaultList, previous.data(), previous.size());
  if (size < 0 && errno != ENODATA) return Failed(DaclStep::kWriteDacl);
  if (!SetDefaultList(object, defaults.get())) return Failed(DaclStep::kWriteDacl);
  if (acl_set_fd(object, access.get()) != 0) {
    DaclResult failed = Failed(DaclStep::kWriteDacl);
    // The owner could just write the default list, so putting it back fails
    // only with the file system itself; the first failure is the one to tell.
    if (size > 0) {
      ::fsetxattr(object, kDefaultList, previous.data(), static_cast<size_t>(size), 0);
    } else {
      ::fremovexattr(object, kDefaultList);
    }
    return failed;
  }
  return {};
}

}  // namespace slv2::security
