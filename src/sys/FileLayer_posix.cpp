// Linux twin of the platform file layer: Windows semantics over POSIX calls,
// every path reached through the resolver (FileLayerResolve_posix.h).
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "sys/Cp1251.h"
#include "sys/FaultInjection.h"
#include "sys/FileLayer.h"
#include "sys/FileLayerRelease_posix.h"
#include "sys/FileLayerResolve_posix.h"
#include "sys/TempNames.h"
#include "sys/WinError.h"

namespace slv2::fs {

using posix::Fail;
using posix::FailErrno;
using posix::Fd;
using posix::FromErrno;
using posix::Location;

namespace {

thread_local uint32_t t_lastError = 0;

// An injected fault (tests only): reads and renames fail as an I/O error
// would, writes and creations as a full disk.
bool Injected(fault::Operation operation) {
  if (!fault::ShouldFail(operation)) return false;
  bool full = operation == fault::kWrite || operation == fault::kCreate;
  Fail(full ? kErrorDiskFull : kErrorIoDevice);
  return true;
}

bool IsReadOnlyMode(mode_t mode) {
  return (mode & S_IWUSR) == 0;
}

uint32_t AttributesOf(const Location& where) {
  struct stat st = posix::Followed(where);
  uint32_t attributes = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
  if (IsReadOnlyMode(st.st_mode)) attributes |= kAttrReadOnly;
  if (S_ISLNK(where.st.st_mode)) attributes |= kAttrReparsePoint;
  return attributes;
}

// Locates an entry that must exist.
bool LocateExisting(std::string_view path, Location* where) {
  if (!posix::Locate(path, where)) return false;
  return where->exists || Fail(kErrorFileNotFound);
}

// Files this process made with GetTempFileName and has not opened since:
// no other process can know their names, so their first opening needs no
// share-mode locks. Each is held open until then, so that its inode cannot
// pass to another file meanwhile.
class PrivateFiles {
 public:
  void Add(Fd fd, const struct stat& st) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (files_.size() >= kHeld) files_.erase(files_.begin());
    files_.emplace_back(Key{st.st_dev, st.st_ino}, std::move(fd));
  }
  // Whether the file was one; it is not any more.
  bool Take(const struct stat& st) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = files_.begin(); it != files_.end(); ++it) {
      if (it->first == Key{st.st_dev, st.st_ino}) {
        files_.erase(it);
        return true;
      }
    }
    return false;
  }

 private:
  using Key = std::pair<dev_t, ino_t>;
  static constexpr size_t kHeld = 16;
  std::mutex mutex_;
  std::vector<std::pair<Key, Fd>> files_;
};
PrivateFiles g_private;

// A regular file of the located entry opened with `flags` (never blocking
// on a FIFO; never through a link below an anchored root). A character
// device outside the anchored roots is let through (a log to /dev/null).
Fd OpenRegular(const Location& where, int flags, struct stat* opened = nullptr) {
  int extra = O_CLOEXEC | O_NONBLOCK | (where.anchored ? O_NOFOLLOW : 0);
  Fd fd(::openat(where.Folder(), where.name.c_str(), flags | extra, 0666));
  if (!fd.Valid()) {
    FailErrno();
    return fd;
  }
  struct stat own;
  struct stat& st = opened ? *opened : own;
  if (::fstat(fd.Get(), &st) != 0) {
    FailErrno();
    return Fd();
  }
  bool device = S_ISCHR(st.st_mode) && !where.anchored;
  if (!S_ISREG(st.st_mode) && !device) {
    Fail(S_ISDIR(st.st_mode) ? kErrorAccessDenied : kErrorCantAccessFile);
    return Fd();
  }
  if (device) ::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
  return fd;
}

// A folder of the layer opened for listing or flushing.
Fd OpenFolder(const Location& where) {
  int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (where.anchored ? O_NOFOLLOW : 0);
  Fd fd(::openat(where.Folder(), where.name.c_str(), flags));
  if (!fd.Valid()) {
    if (errno == ELOOP || (where.anchored && S_ISLNK(where.st.st_mode))) {
      Fail(kErrorStoppedOnSymlink);
    } else {
      Fail(errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound : FromErrno(errno));
    }
  }
  return fd;
}

// The rights of the file being replaced for its replacement: owner, group,
// permission bits and the access list, so that a program keeps its execute
// bits and its owner, and an administrator's entries survive the update.
// Only root may give a file away: another user's replacement stays theirs,
// as with any program that rewrites a file it may write.
// A planted hard link gives nothing: the replacement is a new file.
// `current` is the replacement's status: what it already has is not given
// again (most replacements have their target's owner and mode already).
bool TakeRightsOf(const Location& target, int replacement, const struct stat& current) {
  if (!target.exists || !S_ISREG(target.st.st_mode) || posix::PlantedHardLink(target, target.st)) {
    return true;
  }
  bool owned = current.st_uid == target.st.st_uid && current.st_gid == target.st.st_gid;
  if (!owned && ::fchown(replacement, target.st.st_uid, target.st.st_gid) != 0 &&
      (errno != EPERM || ::geteuid() == 0)) {
    return FailErrno();
  }
  // A change of owner clears the set-id bits: the mode is given after it.
  if ((!owned || (current.st_mode & 07777) != (target.st.st_mode & 07777)) &&
      ::fchmod(replacement, target.st.st_mode & 07777) != 0) {
    return FailErrno();
  }
  Fd object(::openat(target.Folder(), target.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  if (!object.Valid()) return FailErrno();
  std::string path = posix::DescriptorPath(object.Get());
  constexpr const char* kAccessList = "system.posix_acl_access";
  char value[4096];
  ssize_t size = ::getxattr(path.c_str(), kAccessList, value, sizeof value);
  if (size < 0) return errno == ENODATA || errno == ENOTSUP || FailErrno();
  return ::fsetxattr(replacement, kAccessList, value, static_cast<size_t>(size), 0) == 0 ||
         errno == ENOTSUP || FailErrno();
}

// Checks that `to` may be replaced and hands `from`'s descriptor (of
// status `fromSt`) the rights of what it replaces.
bool PrepareReplacement(const Location& from, const Location& to, int fromFd,
                        const struct stat& fromSt) {
  if (to.exists && !S_ISLNK(to.st.st_mode) &&
      (S_ISDIR(to.st.st_mode) || IsReadOnlyMode(to.st.st_mode))) {
    return Fail(kErrorAccessDenied);
  }
  if (!from.exists) return Fail(kErrorFileNotFound);
  return TakeRightsOf(to, fromFd, fromSt);
}

bool RenameLocated(const Location& from, const Location& to) {
  // The replaced file is let go of elsewhere (FileLayerRelease_posix.h).
  Fd replaced;
  if (to.exists && S_ISREG(to.st.st_mode)) {
    replaced = Fd(::openat(to.Folder(), to.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  }
  if (::renameat(from.Folder(), from.name.c_str(), to.Folder(), to.name.c_str()) != 0) {
    return Fail(errno == ENOENT ? kErrorFileNotFound : FromErrno(errno));
  }
  if (replaced.Valid()) posix::CloseLater(std::move(replaced));
  g_private.Take(from.st);
  posix::NoteRemoved(from.Folder(), from.name);
  posix::NoteAdded(to.Folder(), to.name);
  return true;
}

bool SyncFolder(const Location& entry) {
  Fd folder(::openat(entry.Folder(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.Valid()) return FailErrno();
  return ::fsync(folder.Get()) == 0 || errno == EINVAL || FailErrno();
}

// Share modes between processes: every opener holds shared locks on four bytes
// far beyond any real data, one per fact ("I read", "I write", "I deny
// reading", "I deny writing"). A new opener first announces its own facts and
// then looks for facts of others that conflict with its wishes; on a conflict
// it withdraws. Of two openers racing, at least one sees the other, so two
// conflicting openers never both succeed (both may fail, and retry).
constexpr off_t kShareLockBase = off_t{1} << 62;
enum ShareByte : off_t { kHasRead = 0, kHasWrite = 1, kDeniesRead = 2, kDeniesWrite = 3 };

bool LockByte(int fd, off_t which, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = kShareLockBase + which;
  lock.l_len = 1;
  while (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// True when another open file description holds a lock on the byte.
bool HeldByOther(int fd, off_t which) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = kShareLockBase + which;
  lock.l_len = 1;
  if (::fcntl(fd, F_OFD_GETLK, &lock) != 0) return false;
  return lock.l_type != F_UNLCK;
}

// Takes the share-mode locks for an opener; false on a sharing conflict. On a
// file system without locks sharing cannot be enforced, and is not.
bool AcquireShareMode(int fd, uint32_t access, uint32_t share) {
  bool wantRead = access & kGenericRead, wantWrite = access & kGenericWrite;
  bool facts[4] = {wantRead, wantWrite, !(share & kShareRead), !(share & kShareWrite)};
  for (off_t which = 0; which < 4; ++which) {
    if (facts[which] && !LockByte(fd, which, F_RDLCK)) return errno == ENOLCK || errno == EINVAL;
  }
  bool conflict = (wantRead && HeldByOther(fd, kDeniesRead)) ||
                  (wantWrite && HeldByOther(fd, kDeniesWrite)) ||
                  (facts[kDeniesRead] && HeldByOther(fd, kHasRead)) ||
                  (facts[kDeniesWrite] && HeldByOther(fd, kHasWrite));
  if (conflict) {
    for (off_t which = 0; which < 4; ++which) {
      if (facts[which]) LockByte(fd, which, F_UNLCK);
    }
  }
  return !conflict;
}

}  // namespace

uint32_t LastError() {
  return t_lastError;
}
void SetLastError(uint32_t code) {
  t_lastError = code;
}

std::string NativePath(std::string_view path) {
  Location where;
  if (posix::Locate(path, &where)) return where.native;
  if (LastError() != kErrorPathNotFound) return std::string();
  // Below a missing folder nothing can be a link: the existing part
  // resolved, the rest as written (its ".." resolved as text).
  if (path.find("..") != std::string_view::npos) {
    std::string full = GetFullPathName(path);
    if (full != path) return NativePath(full);
  }
  size_t slash = path.find_last_of("/\\");
  if (slash == std::string_view::npos) return AnsiToUtf8(path);
  std::string parent = slash == 0 ? std::string() : NativePath(path.substr(0, slash));
  if (slash == 0) return "/" + AnsiToUtf8(path.substr(1));
  if (parent.empty()) return parent;
  return parent + "/" + AnsiToUtf8(path.substr(slash + 1));
}

std::string FromNativeName(std::string_view name) {
  return Utf8ToAnsi(name);
}

uint32_t GetFileAttributes(std::string_view path) {
  Location where;
  if (!LocateExisting(path, &where)) return kInvalidFileAttributes;
  return AttributesOf(where);
}

bool SetFileAttributes(std::string_view path, uint32_t attributes) {
  Location where;
  if (!LocateExisting(path, &where)) return false;
  if (posix::StopsAtLink(where)) return Fail(kErrorStoppedOnSymlink);
  struct stat st;
  Fd object = posix::OpenForChange(path, &st);
  if (!object.Valid()) return false;
  mode_t mode = st.st_mode & 07777;
  if (attributes & kAttrReadOnly) {
    mode &= ~(S_IWUSR | S_IWGRP | S_IWOTH);
  } else {
    mode |= S_IWUSR;
  }
  if (mode == (st.st_mode & 07777)) return true;
  return ::fchmod(object.Get(), mode) == 0 || FailErrno();
}

bool CreateDirectory(std::string_view path) {
  Location where;
  if (!posix::Locate(path, &where)) return false;
  if (Injected(fault::kCreate)) return false;
  if (where.exists) return Fail(kErrorAlreadyExists);
  if (::mkdirat(where.Folder(), where.name.c_str(), 0777) != 0) {
    return errno == EEXIST ? Fail(kErrorAlreadyExists) : FailErrno();
  }
  posix::NoteAdded(where.Folder(), where.name);
  return true;
}

bool RemoveDirectory(std::string_view path) {
  Location where;
  if (!LocateExisting(path, &where)) return false;
  bool link = S_ISLNK(where.st.st_mode);
  if (!S_ISDIR(posix::Followed(where).st_mode)) return Fail(kErrorDirectory);
  if (!link && IsReadOnlyMode(where.st.st_mode)) return Fail(kErrorAccessDenied);
  if (::unlinkat(where.Folder(), where.name.c_str(), link ? 0 : AT_REMOVEDIR) != 0) {
    return FailErrno();
  }
  posix::NoteRemoved(where.Folder(), where.name);
  return true;
}

bool DeleteFile(std::string_view path) {
  Location where;
  if (!LocateExisting(path, &where)) return false;
  if (!S_ISLNK(where.st.st_mode)) {
    if (S_ISDIR(where.st.st_mode)) return Fail(kErrorAccessDenied);
    if (IsReadOnlyMode(where.st.st_mode)) return Fail(kErrorAccessDenied);
  }
  if (::unlinkat(where.Folder(), where.name.c_str(), 0) != 0) return FailErrno();
  g_private.Take(where.st);
  posix::NoteRemoved(where.Folder(), where.name);
  return true;
}

bool MoveFile(std::string_view from, std::string_view to) {
  Location src, dst;
  if (!LocateExisting(from, &src) || !posix::Locate(to, &dst)) return false;
  if (Injected(fault::kRename)) return false;
  // A rename that only changes letter case finds `to` as `from` itself.
  struct stat folderA, folderB;
  bool same = dst.exists && ::fstat(src.Folder(), &folderA) == 0 &&
              ::fstat(dst.Folder(), &folderB) == 0 && folderA.st_ino == folderB.st_ino &&
              folderA.st_dev == folderB.st_dev && src.name == dst.name;
  if (dst.exists && !same) return Fail(kErrorAlreadyExists);
  if (same) {
    std::string literal(to);
    std::replace(literal.begin(), literal.end(), '\\', '/');
    dst.name = AnsiToUtf8(literal.substr(literal.find_last_of('/') + 1));
  }
  int a = src.Folder(), b = dst.Folder();
  const char* n1 = src.name.c_str();
  const char* n2 = dst.name.c_str();
  bool moved = ::renameat2(a, n1, b, n2, RENAME_NOREPLACE) == 0;
  if (!moved && (errno == EINVAL || errno == ENOSYS)) {  // no no-replace renames here
    if (::linkat(a, n1, b, n2, 0) == 0) {
      moved = ::unlinkat(a, n1, 0) == 0;
    } else if (errno == EPERM) {  // folders
      moved = ::renameat(a, n1, b, n2) == 0;
    }
  }
  if (!moved) return errno == EEXIST ? Fail(kErrorAlreadyExists) : FailErrno();
  posix::NoteRemoved(a, src.name);
  posix::NoteAdded(b, dst.name);
  return true;
}

bool ReplaceFile(std::string_view from, std::string_view to) {
  Location src, dst;
  if (!posix::Locate(from, &src) || !posix::Locate(to, &dst)) return false;
  if (Injected(fault::kRename)) return false;
  if (!src.exists) return Fail(kErrorFileNotFound);
  struct stat opened;
  Fd content = OpenRegular(src, O_RDONLY, &opened);
  if (!content.Valid()) return false;
  if (!PrepareReplacement(src, dst, content.Get(), opened)) return false;
  if (::fsync(content.Get()) != 0) return FailErrno();
  content = Fd();
  return RenameLocated(src, dst) && SyncFolder(dst);
}

namespace {

// The distinct folders of the paths, each flushed once per file system: a
// single journal commit and cache flush of the device make all of them
// durable, where a flush per file pays both for every file.
bool FlushFileSystems(const std::set<std::string>& folders) {
  std::vector<dev_t> devices;
  for (const std::string& folder : folders) {
    Location where;
    if (!LocateExisting(folder, &where)) return false;
    Fd fd = OpenFolder(where);
    struct stat st;
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0) return false;
    if (std::find(devices.begin(), devices.end(), st.st_dev) != devices.end()) continue;
    devices.push_back(st.st_dev);
    if (Injected(fault::kWrite)) return false;
    if (::syncfs(fd.Get()) != 0) return Fail(kErrorWriteFault);
  }
  return true;
}

}  // namespace

bool FlushFolders(const std::vector<std::string>& folders) {
  return FlushFileSystems(std::set<std::string>(folders.begin(), folders.end()));
}

bool CopyFile(std::string_view from, std::string_view to, bool failIfExists) {
  Location src, dst;
  if (!LocateExisting(from, &src)) return false;
  if (posix::StopsAtLink(src)) return Fail(kErrorStoppedOnSymlink);
  Fd in = OpenRegular(src, O_RDONLY);
  if (!in.Valid()) return false;
  struct stat st;
  if (::fstat(in.Get(), &st) != 0) return FailErrno();
  if (!posix::Locate(to, &dst)) return Fail(kErrorPathNotFound);
  if (posix::StopsAtLink(dst)) return Fail(kErrorStoppedOnSymlink);
  struct stat existing = posix::Followed(dst);
  bool exists = dst.exists && !S_ISLNK(existing.st_mode);
  if (exists) {
    if (failIfExists) return Fail(kErrorFileExists);
    if (S_ISDIR(existing.st_mode) || IsReadOnlyMode(existing.st_mode)) {
      return Fail(kErrorAccessDenied);
    }
  }
  if (Injected(exists ? fault::kWrite : fault::kCreate)) return false;
  struct stat opened;
  Fd out = OpenRegular(dst, O_WRONLY | O_CREAT | (failIfExists ? O_EXCL : 0), &opened);
  if (!out.Valid()) return false;
  if (!exists) posix::NoteAdded(dst.Folder(), dst.name);
  if (posix::PlantedHardLink(dst, opened)) return Fail(kErrorAccessDenied);
  if (opened.st_size > 0 && ::ftruncate(out.Get(), 0) != 0) return FailErrno();
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(in.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FailErrno();
    if (n == 0) break;
    if (fault::ShouldFail(fault::kWrite)) return Fail(kErrorDiskFull);
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out.Get(), buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return w == 0 ? Fail(kErrorDiskFull) : FailErrno();
      done += w;
    }
  }
  if (::fchmod(out.Get(), st.st_mode & 07777) != 0) return FailErrno();
  return ::close(out.Release()) == 0 || FailErrno();
}

bool GetDiskFreeSpace(std::string_view path, uint64_t* available) {
  Fd folder = posix::OpenFolderOf(path);
  struct statvfs volume;
  if (!folder.Valid()) return false;
  if (::fstatvfs(folder.Get(), &volume) != 0) return FailErrno();
  *available = static_cast<uint64_t>(volume.f_bavail) * volume.f_frsize;
  return true;
}

std::string GetTempPath() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = dir && *dir ? dir : "/tmp";
  if (path.back() != '/') path += '/';
  return FromNativeName(path);
}

namespace {

// Gives a new name "<prefix><hex>.TMP" to what `make` (given the native
// name) makes, trying other names while one is taken; the name in program
// text, or "" on failure.
template <typename Make>
std::string WithTempName(std::string_view prefix, Make make) {
  static const auto pid = static_cast<uint32_t>(::getpid());
  std::string stem(prefix.substr(0, 3));
  auto seed = static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count() ^
                                    (pid << 8));
  for (uint32_t attempt = 0; attempt < 0x10000; ++attempt) {
    uint32_t unique = (seed + attempt) & 0xFFFF;
    if (unique == 0) continue;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%X.TMP", unique);
    std::string name = stem + suffix;
    if (make(AnsiToUtf8(name))) return name;
    if (errno != EEXIST) {
      FailErrno();
      return std::string();
    }
  }
  Fail(kErrorFileExists);
  return std::string();
}

}  // namespace

std::string GetTempFileName(std::string_view folder, std::string_view prefix) {
  if (Injected(fault::kCreate)) return std::string();
  Fd dir = posix::OpenFolderOf(folder.empty() ? std::string_view(".") : folder);
  if (!dir.Valid()) return std::string();
  std::string base(folder);
  if (!base.empty() && base.back() != '/' && base.back() != '\\') base += '/';
  std::string name = WithTempName(prefix, [&dir](const std::string& native) {
    Fd fd(::openat(dir.Get(), native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd.Valid()) return false;
    struct stat st;
    if (::fstat(fd.Get(), &st) == 0) g_private.Add(std::move(fd), st);
    posix::NoteAdded(dir.Get(), native);
    return true;
  });
  return name.empty() ? name : base + name;
}

// --- new files ----------------------------------------------------------------

namespace {

using posix::SharedFolder;

const SharedFolder& FolderOf(const std::shared_ptr<const void>& folder) {
  return *static_cast<const SharedFolder*>(folder.get());
}

// Whether an unnamed file can be given a name here: through its descriptor
// (with the right to reach files by descriptor) or through /proc.
bool UnnamedFilesLinkable() {
  static const bool linkable = ::geteuid() == 0 || ::access("/proc/self/fd", X_OK) == 0;
  return linkable;
}

// Links an unnamed file to `name` in `folder`.
bool LinkUnnamed(int fd, int folder, const std::string& name) {
  static std::atomic<bool> byDescriptor{true};
  if (byDescriptor.load(std::memory_order_relaxed)) {
    if (::linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno != EPERM && errno != ENOENT && errno != EINVAL) return false;
    byDescriptor = false;
  }
  return ::linkat(AT_FDCWD, posix::DescriptorPath(fd).c_str(), folder, name.c_str(),
                  AT_SYMLINK_FOLLOW) == 0;
}

}  // namespace

NewFile& NewFile::operator=(NewFile&& other) noexcept {
  if (this != &other) {
    Discard();
    handle_ = std::move(other.handle_);
    temp_ = std::exchange(other.temp_, {});
    folder_ = std::move(other.folder_);
  }
  return *this;
}

NewFile::~NewFile() {
  Discard();
}

void NewFile::Discard() {
  handle_.Close();
  if (!temp_.empty() && folder_) {
    const SharedFolder& folder = FolderOf(folder_);
    if (::unlinkat(folder.fd.Get(), temp_.c_str(), 0) == 0) {
      posix::NoteRemoved(folder.fd.Get(), temp_);
    }
  }
  temp_.clear();
  folder_.reset();
}

NewFile NewFile::Create(std::string_view folder) {
  NewFile file;
  if (Injected(fault::kCreate)) return file;
  std::shared_ptr<const SharedFolder> shared =
      posix::ShareFolder(folder.empty() ? std::string_view(".") : folder);
  if (!shared) return file;
  int dir = shared->fd.Get();
  file.folder_ = shared;
  if (UnnamedFilesLinkable()) {
    int fd = ::openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0) {
      file.handle_ = FileHandle(fd);
      return file;
    }
    // A file system without unnamed files takes a named one.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      FailErrno();
      return NewFile();
    }
  }
  std::string native;
  WithTempName(kTempPrefix, [&](const std::string& name) {
    int fd = ::openat(dir, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    file.handle_ = FileHandle(fd);
    native = name;
    return true;
  });
  if (!file.handle_.Valid()) return NewFile();
  posix::NoteAdded(dir, native);
  file.temp_ = std::move(native);
  return file;
}

bool NewFile::Place(std::string_view target) {
  Location to;
  auto folder = std::static_pointer_cast<const SharedFolder>(folder_);
  if (!Valid() || !(posix::LocateIn(folder, target, &to) || posix::Locate(target, &to))) {
    return false;
  }
  if (Injected(fault::kRename)) return false;
  int fd = static_cast<int>(handle_.fd_);
  int dir = FolderOf(folder_).fd.Get();
  if (temp_.empty() && !to.exists) {
    if (LinkUnnamed(fd, to.Folder(), to.name)) {
      posix::NoteAdded(to.Folder(), to.name);
      Discard();
      return true;
    }
    // A file of that name came meanwhile: it is replaced, as below.
    if (errno != EEXIST) return FailErrno();
    to = Location();
    if (!posix::Locate(target, &to)) return false;
  }
  if (temp_.empty()) {
    // An unnamed file cannot be renamed over another: it takes a temporary
    // name first.
    std::string named;
    WithTempName(kTempPrefix, [&](const std::string& name) {
      if (!LinkUnnamed(fd, dir, name)) return false;
      named = name;
      return true;
    });
    if (named.empty()) return false;
    posix::NoteAdded(dir, named);
    temp_ = std::move(named);
  }
  Location from;
  from.borrowed = dir;
  from.name = temp_;
  from.anchored = FolderOf(folder_).anchored;
  from.exists = ::fstat(fd, &from.st) == 0;
  if ((to.exists && !PrepareReplacement(from, to, fd, from.st)) || !RenameLocated(from, to)) {
    return false;
  }
  temp_.clear();
  Discard();
  return true;
}

size_t NewFilesAtOnce() {
  static const size_t count = [] {
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return size_t{64};
    rlim_t wanted = std::min<rlim_t>(limit.rlim_max, 8192);
    if (wanted > limit.rlim_cur) {
      rlim_t before = limit.rlim_cur;
      limit.rlim_cur = wanted;
      if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) limit.rlim_cur = before;
    }
    return static_cast<size_t>(limit.rlim_cur / 4);
  }();
  return count;
}

bool FlushNewFiles(const std::vector<NewFile*>& files) {
  std::vector<const void*> folders;
  std::vector<dev_t> devices;
  for (NewFile* file : files) {
    if (!file->folder_) return Fail(kErrorInvalidHandle);
    if (std::find(folders.begin(), folders.end(), file->folder_.get()) != folders.end()) continue;
    folders.push_back(file->folder_.get());
    int folder = FolderOf(file->folder_).fd.Get();
    struct stat st;
    if (::fstat(folder, &st) != 0) return FailErrno();
    if (std::find(devices.begin(), devices.end(), st.st_dev) != devices.end()) continue;
    devices.push_back(st.st_dev);
    if (Injected(fault::kWrite)) return false;
    Fd readable(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!readable.Valid()) return FailErrno();
    if (::syncfs(readable.Get()) != 0) return Fail(kErrorWriteFault);
  }
  return true;
}

std::string GetFullPathName(std::string_view path) {
  std::string p(path);
  std::replace(p.begin(), p.end(), '\\', '/');
  if (p.empty() || p[0] != '/') {
    char cwd[4096];
    if (!::getcwd(cwd, sizeof cwd)) return std::string(path);
    p = FromNativeName(cwd) + "/" + p;
  }
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= p.size()) {
    size_t j = p.find('/', i);
    if (j == std::string::npos) j = p.size();
    std::string c = p.substr(i, j - i);
    i = j + 1;
    if (c.empty() || c == ".") continue;
    if (c == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(c);
  }
  std::string out;
  for (auto& c : parts)
    out += "/" + c;
  return out.empty() ? "/" : out;
}

std::string GetModuleFileName() {
  char buffer[4096];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return std::string();
  return FromNativeName(std::string_view(buffer, static_cast<size_t>(n)));
}

DirListing::DirListing(std::string_view mask) {
  std::string m(mask);
  std::replace(m.begin(), m.end(), '\\', '/');
  size_t slash = m.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : m.substr(0, slash + 1);
  std::string pattern = slash == std::string::npos ? m : m.substr(slash + 1);
  if (folder.size() > 1) folder.pop_back();
  Location where;
  Fd fd;
  if (posix::Locate(folder, &where)) {
    if (!where.exists)
      Fail(kErrorPathNotFound);
    else if (posix::StopsAtLink(where))
      Fail(kErrorStoppedOnSymlink);
    else
      fd = OpenFolder(where);
  }
  DIR* d = fd.Valid() ? ::fdopendir(fd.Get()) : nullptr;
  if (!d) {
    error_ = fd.Valid() ? FromErrno(errno) : LastError();
    return;
  }
  int dfd = fd.Release();
  bool isRoot = where.native == "/";
  while (dirent* e = ::readdir(d)) {
    std::string native = e->d_name;
    bool dots = native == "." || native == "..";
    if (dots && isRoot) continue;
    std::string name = FromNativeName(native);
    if (!MatchesListingMask(name, pattern)) continue;
    Location entry;
    entry.borrowed = dfd;
    entry.name = native;
    entry.anchored = where.anchored;
    entry.exists = ::fstatat(dfd, native.c_str(), &entry.st, AT_SYMLINK_NOFOLLOW) == 0;
    uint32_t attributes = entry.exists ? AttributesOf(entry) : 0;
    off_t size = entry.st.st_size;
    bool regular = S_ISREG(posix::Followed(entry).st_mode);
    if (!entry.exists) continue;  // vanished between readdir and stat
    FindData found;
    found.name = std::move(name);
    found.attributes = attributes;
    found.size = regular && !S_ISLNK(entry.st.st_mode) ? static_cast<uint64_t>(size) : 0;
    entries_.push_back(std::move(found));
  }
  ::closedir(d);
  // Directory order on Linux is arbitrary; list the way NTFS does: "." and
  // ".." first, then by upper-cased name.
  std::sort(entries_.begin(), entries_.end(), [](const FindData& a, const FindData& b) {
    auto rank = [](const std::string& n) { return n == "." ? 0 : n == ".." ? 1 : 2; };
    if (rank(a.name) != rank(b.name)) return rank(a.name) < rank(b.name);
    return AnsiUpperCase(a.name) < AnsiUpperCase(b.name);
  });
  if (entries_.empty()) error_ = kErrorFileNotFound;
}

bool DirListing::Next(FindData* entry) {
  if (next_ >= entries_.size()) {
    if (!entries_.empty()) error_ = kErrorNoMoreFiles;
    t_lastError = error_;
    return false;
  }
  *entry = entries_[next_++];
  return true;
}

FileHandle::~FileHandle() {
  Close();
}

FileHandle::FileHandle(FileHandle&& other) noexcept : fd_(other.fd_) {
  other.fd_ = -1;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void FileHandle::Close() {
  if (fd_ >= 0) ::close(static_cast<int>(fd_));
  fd_ = -1;
}

FileHandle FileHandle::Open(std::string_view path, uint32_t access, uint32_t share,
                            uint32_t disposition) {
  Location where;
  if (!posix::Locate(path, &where)) return FileHandle();
  if (posix::StopsAtLink(where)) {
    Fail(kErrorStoppedOnSymlink);
    return FileHandle();
  }
  bool wantWrite = access & kGenericWrite;
  bool truncates = disposition == kCreateAlways || disposition == kTruncateExisting;
  struct stat existing = posix::Followed(where);
  bool exists = where.exists && !S_ISLNK(existing.st_mode);
  if (exists) {
    if (S_ISDIR(existing.st_mode)) {
      Fail(kErrorAccessDenied);
      return FileHandle();
    }
    if (disposition == kCreateNew) {
      Fail(kErrorFileExists);
      return FileHandle();
    }
    if ((wantWrite || truncates) && IsReadOnlyMode(existing.st_mode)) {
      Fail(kErrorAccessDenied);
      return FileHandle();
    }
  } else if (disposition == kOpenExisting || disposition == kTruncateExisting) {
    Fail(kErrorFileNotFound);
    return FileHandle();
  }
  // Share-mode locks are read locks, which need a readable descriptor: a
  // writer opens for reading too, unless the file refuses it (then its share
  // mode cannot be announced, as on a file system without locks).
  bool creates = !exists && disposition != kOpenExisting && disposition != kTruncateExisting;
  if (creates && Injected(fault::kCreate)) return FileHandle();
  int flags = wantWrite ? O_RDWR : O_RDONLY;
  if (disposition == kCreateNew) flags |= O_CREAT | O_EXCL;
  if (disposition == kCreateAlways || disposition == kOpenAlways) flags |= O_CREAT;
  struct stat opened;
  Fd fd = OpenRegular(where, flags, &opened);
  bool lockable = true;
  if (!fd.Valid() && LastError() == kErrorAccessDenied && wantWrite) {
    fd = OpenRegular(where, (flags & ~O_RDWR) | O_WRONLY, &opened);
    lockable = false;
  }
  if (!fd.Valid()) {
    if (LastError() == kErrorFileNotFound && !exists) Fail(kErrorPathNotFound);
    return FileHandle();
  }
  if (creates) posix::NoteAdded(where.Folder(), where.name);
  if ((wantWrite || truncates) && posix::PlantedHardLink(where, opened)) {
    Fail(kErrorAccessDenied);
    return FileHandle();
  }
  // A file this process has just created under a name nobody else knows
  // needs no announcement of its share mode.
  bool isPrivate = exists && g_private.Take(opened);
  if (lockable && !isPrivate && !AcquireShareMode(fd.Get(), access, share)) {
    Fail(kErrorSharingViolation);
    return FileHandle();
  }
  FileHandle handle(fd.Release());
  // Truncation waits until the share check passed, as on Windows.
  if (exists && opened.st_size > 0 && truncates) {
    if (::ftruncate(static_cast<int>(handle.fd_), 0) != 0) {
      FailErrno();
      return FileHandle();
    }
  }
  t_lastError = exists && (disposition == kCreateAlways || disposition == kOpenAlways)
                    ? kErrorAlreadyExists
                    : kErrorSuccess;
  return handle;
}

bool FileHandle::Read(void* buffer, size_t count, size_t* done) {
  *done = 0;
  if (Injected(fault::kRead)) return false;
  auto* p = static_cast<char*>(buffer);
  while (*done < count) {
    ssize_t n = ::read(static_cast<int>(fd_), p + *done, count - *done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FailErrno();
    if (n == 0) break;
    *done += static_cast<size_t>(n);
  }
  return true;
}

bool FileHandle::Write(const void* buffer, size_t count) {
  if (Injected(fault::kWrite)) return false;
  auto* p = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::write(static_cast<int>(fd_), p + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0 ? Fail(kErrorDiskFull) : FailErrno();
    done += static_cast<size_t>(n);
  }
  return true;
}

bool FileHandle::Seek(int64_t offset, SeekOrigin origin, int64_t* position) {
  int whence = origin == kSeekBegin ? SEEK_SET : origin == kSeekCurrent ? SEEK_CUR : SEEK_END;
  off_t result = ::lseek(static_cast<int>(fd_), static_cast<off_t>(offset), whence);
  if (result < 0) return errno == EINVAL ? Fail(kErrorInvalidParameter) : FailErrno();
  if (position) *position = result;
  return true;
}

bool FileHandle::SetEndOfFile() {
  if (Injected(fault::kWrite)) return false;
  off_t position = ::lseek(static_cast<int>(fd_), 0, SEEK_CUR);
  if (position < 0) return FailErrno();
  return ::ftruncate(static_cast<int>(fd_), position) == 0 || FailErrno();
}

bool FileHandle::ReadAt(uint64_t offset, void* buffer, size_t count, size_t* done) {
  *done = 0;
  if (Injected(fault::kRead)) return false;
  auto* p = static_cast<char*>(buffer);
  while (*done < count) {
    ssize_t n = ::pread(static_cast<int>(fd_), p + *done, count - *done,
                        static_cast<off_t>(offset + *done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FailErrno();
    if (n == 0) break;
    *done += static_cast<size_t>(n);
  }
  return true;
}

bool FileHandle::WriteAt(uint64_t offset, const void* buffer, size_t count) {
  if (Injected(fault::kWrite)) return false;
  auto* p = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < count) {
    ssize_t n =
        ::pwrite(static_cast<int>(fd_), p + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0 ? Fail(kErrorDiskFull) : FailErrno();
    done += static_cast<size_t>(n);
  }
  return true;
}

bool FileHandle::Resize(uint64_t size) {
  if (Injected(fault::kWrite)) return false;
  return ::ftruncate(static_cast<int>(fd_), static_cast<off_t>(size)) == 0 || FailErrno();
}

int64_t FileHandle::Size() {
  struct stat st;
  if (::fstat(static_cast<int>(fd_), &st) != 0) {
    FailErrno();
    return -1;
  }
  return st.st_size;
}

bool FileHandle::Flush() {
  if (Injected(fault::kWrite)) return false;
  return ::fsync(static_cast<int>(fd_)) == 0 || FailErrno();
}

void FileHandle::StartFlush() {
  ::sync_file_range(static_cast<int>(fd_), 0, 0, SYNC_FILE_RANGE_WRITE);
}

}  // namespace slv2::fs
