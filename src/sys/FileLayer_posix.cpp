// Linux twin of the platform file layer: Windows semantics over POSIX calls.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "sys/Cp1251.h"
#include "sys/FaultInjection.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"

namespace slv2::fs {
namespace {

thread_local uint32_t t_lastError = 0;

// errno in the words of the Windows API. ENOENT is refined by the caller
// (file versus path not found) where the difference matters.
uint32_t FromErrno(int e) {
  switch (e) {
    case 0:
      return kErrorSuccess;
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return kErrorAccessDenied;
    case EEXIST:
      return kErrorFileExists;
    case ENOTEMPTY:
      return kErrorDirNotEmpty;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    case EIO:
      return kErrorIoDevice;
    case ENAMETOOLONG:
      return kErrorFilenameExcedRange;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case EXDEV:
      return kErrorNotSameDevice;
    case EBUSY:
      return kErrorSharingViolation;
    case EAGAIN:
      return kErrorLockViolation;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EBADF:
      return kErrorInvalidHandle;
    default:
      return kErrorInvalidParameter;
  }
}

bool Fail(uint32_t code) {
  t_lastError = code;
  return false;
}

bool FailErrno() {
  return Fail(FromErrno(errno));
}

// An injected fault (tests only): reads and renames fail as an I/O error
// would, writes and creations as a full disk.
bool Injected(fault::Operation operation) {
  if (!fault::ShouldFail(operation)) return false;
  bool full = operation == fault::kWrite || operation == fault::kCreate;
  Fail(full ? kErrorDiskFull : kErrorIoDevice);
  return true;
}

std::string ParentOf(const std::string& native) {
  auto slash = native.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return native.substr(0, slash);
}

// ENOENT means "path not found" on Windows when the folder is missing too.
bool FailMissing(const std::string& native) {
  struct stat st;
  std::string parent = ParentOf(native);
  if (::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Fail(kErrorFileNotFound);
  return Fail(kErrorPathNotFound);
}

bool IsReadOnlyMode(mode_t mode) {
  return (mode & S_IWUSR) == 0;
}

// Finds the entry of folder `dir` whose name equals `component` ignoring case
// (Windows-1251 letters included). Returns the native name or "".
std::string FindIgnoringCase(const std::string& dir, const std::string& ansiComponent) {
  DIR* d = ::opendir(dir.empty() ? "/" : dir.c_str());
  if (!d) return std::string();
  // The two cases of a letter of the code page have UTF-8 forms of the same
  // length, so only names of the component's length need decoding.
  size_t length = AnsiToUtf8(ansiComponent).size();
  std::string found;
  while (dirent* e = ::readdir(d)) {
    if (std::strlen(e->d_name) != length) continue;
    if (AnsiSameText(Utf8ToAnsi(e->d_name), ansiComponent)) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}

struct StatResult {
  bool exists = false;
  bool isLink = false;
  struct stat st {};  // of the link's target when it resolves, else of the link
};

StatResult StatPath(const std::string& native) {
  StatResult r;
  if (::lstat(native.c_str(), &r.st) != 0) return r;
  r.exists = true;
  if (S_ISLNK(r.st.st_mode)) {
    r.isLink = true;
    struct stat target;
    if (::stat(native.c_str(), &target) == 0) r.st = target;
  }
  return r;
}

uint32_t AttributesOf(const StatResult& r) {
  uint32_t attributes = S_ISDIR(r.st.st_mode) ? kAttrDirectory : kAttrArchive;
  if (IsReadOnlyMode(r.st.st_mode)) attributes |= kAttrReadOnly;
  if (r.isLink) attributes |= kAttrReparsePoint;
  return attributes;
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

bool SyncFolderOf(const std::string& native) {
  int dfd = ::open(ParentOf(native).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return false;
  bool ok = ::fsync(dfd) == 0 || errno == EINVAL;
  ::close(dfd);
  return ok;
}

}  // namespace

uint32_t LastError() {
  return t_lastError;
}
void SetLastError(uint32_t code) {
  t_lastError = code;
}

std::string NativePath(std::string_view path) {
  std::string ansi(path);
  std::replace(ansi.begin(), ansi.end(), '\\', '/');
  // A path that exists exactly as written needs no resolution: one lstat
  // instead of one per component (the loop below would give the same text).
  if (!ansi.empty() && ansi.find("//") == std::string::npos &&
      (ansi.size() == 1 || ansi.back() != '/')) {
    std::string exact = AnsiToUtf8(ansi);
    struct stat whole;
    if (::lstat(exact.c_str(), &whole) == 0) return exact;
    // A missing last component below a folder that exists as written (a
    // file about to be created): only that component is looked for.
    size_t slash = ansi.find_last_of('/');
    std::string last = slash == std::string::npos ? std::string() : ansi.substr(slash + 1);
    if (slash != std::string::npos && slash > 0 && last != "." && last != "..") {
      std::string parent = AnsiToUtf8(ansi.substr(0, slash));
      if (::lstat(parent.c_str(), &whole) == 0) {
        std::string found = FindIgnoringCase(parent, last);
        return parent + "/" + (found.empty() ? AnsiToUtf8(last) : found);
      }
    }
  }
  bool absolute = !ansi.empty() && ansi[0] == '/';
  std::string out = absolute ? "/" : "";
  bool resolving = true;  // once a component is missing, nothing below can exist
  size_t i = 0;
  while (i < ansi.size()) {
    size_t j = ansi.find('/', i);
    if (j == std::string::npos) j = ansi.size();
    std::string component = ansi.substr(i, j - i);
    i = j + 1;
    if (component.empty()) continue;
    std::string native = AnsiToUtf8(component);
    std::string dir = out.empty() ? "." : out;
    if (!out.empty() && out.back() != '/') out += '/';
    if (resolving && component != "." && component != "..") {
      struct stat st;
      std::string candidate = out + native;
      if (::lstat(candidate.c_str(), &st) != 0) {
        std::string found = FindIgnoringCase(dir, component);
        if (found.empty()) {
          resolving = false;
        } else {
          native = found;
        }
      }
    }
    out += native;
  }
  if (out.empty() && !ansi.empty()) out = ".";
  return out;
}

std::string FromNativeName(std::string_view name) {
  return Utf8ToAnsi(name);
}

uint32_t GetFileAttributes(std::string_view path) {
  std::string native = NativePath(path);
  StatResult r = StatPath(native);
  if (!r.exists) {
    FailMissing(native);
    return kInvalidFileAttributes;
  }
  return AttributesOf(r);
}

bool SetFileAttributes(std::string_view path, uint32_t attributes) {
  std::string native = NativePath(path);
  struct stat st;
  if (::stat(native.c_str(), &st) != 0) return errno == ENOENT ? FailMissing(native) : FailErrno();
  mode_t mode = st.st_mode & 07777;
  if (attributes & kAttrReadOnly) {
    mode &= ~(S_IWUSR | S_IWGRP | S_IWOTH);
  } else {
    mode |= S_IWUSR;
  }
  if (mode == (st.st_mode & 07777)) return true;
  return ::chmod(native.c_str(), mode) == 0 || FailErrno();
}

bool CreateDirectory(std::string_view path) {
  std::string native = NativePath(path);
  if (Injected(fault::kCreate)) return false;
  if (::mkdir(native.c_str(), 0777) == 0) return true;
  if (errno == EEXIST) return Fail(kErrorAlreadyExists);
  return errno == ENOENT ? Fail(kErrorPathNotFound) : FailErrno();
}

bool RemoveDirectory(std::string_view path) {
  std::string native = NativePath(path);
  StatResult r = StatPath(native);
  if (!r.exists) return FailMissing(native);
  if (r.isLink) {
    if (!S_ISDIR(r.st.st_mode)) return Fail(kErrorDirectory);
    return ::unlink(native.c_str()) == 0 || FailErrno();
  }
  if (!S_ISDIR(r.st.st_mode)) return Fail(kErrorDirectory);
  if (IsReadOnlyMode(r.st.st_mode)) return Fail(kErrorAccessDenied);
  return ::rmdir(native.c_str()) == 0 || FailErrno();
}

bool DeleteFile(std::string_view path) {
  std::string native = NativePath(path);
  StatResult r = StatPath(native);
  if (!r.exists) return FailMissing(native);
  if (!r.isLink) {
    if (S_ISDIR(r.st.st_mode)) return Fail(kErrorAccessDenied);
    if (IsReadOnlyMode(r.st.st_mode)) return Fail(kErrorAccessDenied);
  }
  return ::unlink(native.c_str()) == 0 || FailErrno();
}

bool MoveFile(std::string_view from, std::string_view to) {
  std::string src = NativePath(from), dst = NativePath(to);
  if (Injected(fault::kRename)) return false;
  struct stat st;
  if (::lstat(src.c_str(), &st) != 0) return FailMissing(src);
  // A rename that only changes letter case resolves `to` onto `from` itself.
  if (::lstat(dst.c_str(), &st) == 0 && src != dst) return Fail(kErrorAlreadyExists);
  if (src == dst) {
    std::string literal(to);
    std::replace(literal.begin(), literal.end(), '\\', '/');
    dst = ParentOf(src) + "/" + AnsiToUtf8(literal.substr(literal.find_last_of('/') + 1));
  }
  if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EINVAL || errno == ENOSYS) {  // a file system without no-replace renames
    if (::link(src.c_str(), dst.c_str()) == 0) return ::unlink(src.c_str()) == 0 || FailErrno();
    if (errno == EPERM && ::rename(src.c_str(), dst.c_str()) == 0) return true;  // folders
  }
  if (errno == EEXIST) return Fail(kErrorAlreadyExists);
  return FailErrno();
}

bool ReplaceFile(std::string_view from, std::string_view to) {
  std::string src = NativePath(from), dst = NativePath(to);
  if (Injected(fault::kRename)) return false;
  StatResult target = StatPath(dst);
  if (target.exists && !target.isLink) {
    if (S_ISDIR(target.st.st_mode) || IsReadOnlyMode(target.st.st_mode)) {
      return Fail(kErrorAccessDenied);
    }
  }
  int fd = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? FailMissing(src) : FailErrno();
  bool synced = ::fsync(fd) == 0;
  ::close(fd);
  if (!synced) return FailErrno();
  if (::rename(src.c_str(), dst.c_str()) != 0) return FailErrno();
  return SyncFolderOf(dst) || FailErrno();
}

bool CopyFile(std::string_view from, std::string_view to, bool failIfExists) {
  std::string src = NativePath(from), dst = NativePath(to);
  int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return errno == ENOENT ? FailMissing(src) : FailErrno();
  struct stat st;
  if (::fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(in);
    return Fail(kErrorAccessDenied);
  }
  StatResult existing = StatPath(dst);
  if (existing.exists) {
    if (failIfExists) {
      ::close(in);
      return Fail(kErrorFileExists);
    }
    if (S_ISDIR(existing.st.st_mode) || IsReadOnlyMode(existing.st.st_mode)) {
      ::close(in);
      return Fail(kErrorAccessDenied);
    }
  }
  if (Injected(existing.exists ? fault::kWrite : fault::kCreate)) {
    ::close(in);
    return false;
  }
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
  int out = ::open(dst.c_str(), flags, 0666);
  if (out < 0) {
    uint32_t code = errno == ENOENT ? kErrorPathNotFound : FromErrno(errno);
    ::close(in);
    return Fail(code);
  }
  bool ok = true;
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    if (fault::ShouldFail(fault::kWrite)) {
      errno = ENOSPC;
      ok = false;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out, buffer + done, n - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  int saved = errno;
  if (ok) ok = ::fchmod(out, st.st_mode & 07777) == 0;
  if (::close(out) != 0) ok = false;
  ::close(in);
  if (!ok) return Fail(FromErrno(saved ? saved : errno));
  return true;
}

std::string GetTempPath() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = dir && *dir ? dir : "/tmp";
  if (path.back() != '/') path += '/';
  return FromNativeName(path);
}

std::string GetTempFileName(std::string_view folder, std::string_view prefix) {
  if (Injected(fault::kCreate)) return std::string();
  std::string base(folder);
  if (!base.empty() && base.back() != '/' && base.back() != '\\') base += '/';
  base += std::string(prefix.substr(0, 3));
  auto seed = static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count() ^
                                    (::getpid() << 8));
  for (uint32_t attempt = 0; attempt < 0x10000; ++attempt) {
    uint32_t unique = (seed + attempt) & 0xFFFF;
    if (unique == 0) continue;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%X.TMP", unique);
    std::string name = base + suffix;
    int fd = ::open(NativePath(name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return name;
    }
    if (errno != EEXIST) {
      FailErrno();
      return std::string();
    }
  }
  Fail(kErrorFileExists);
  return std::string();
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
  std::string folder = slash == std::string::npos ? "" : m.substr(0, slash + 1);
  std::string pattern = slash == std::string::npos ? m : m.substr(slash + 1);
  std::string nativeFolder = folder.empty() ? "." : NativePath(folder);
  DIR* d = ::opendir(nativeFolder.c_str());
  if (!d) {
    error_ = errno == ENOTDIR || errno == ENOENT ? kErrorPathNotFound : FromErrno(errno);
    return;
  }
  bool isRoot = nativeFolder == "/";
  std::string prefix = nativeFolder == "/" ? "/" : nativeFolder + "/";
  while (dirent* e = ::readdir(d)) {
    std::string native = e->d_name;
    bool dots = native == "." || native == "..";
    if (dots && isRoot) continue;
    std::string name = FromNativeName(native);
    if (!MatchesListingMask(name, pattern)) continue;
    StatResult r = StatPath(prefix + native);
    if (!r.exists) continue;  // vanished between readdir and stat
    FindData entry;
    entry.name = std::move(name);
    entry.attributes = AttributesOf(r);
    entry.size = S_ISREG(r.st.st_mode) ? static_cast<uint64_t>(r.st.st_size) : 0;
    entries_.push_back(std::move(entry));
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
  std::string native = NativePath(path);
  bool wantWrite = access & kGenericWrite;
  StatResult existing = StatPath(native);
  if (existing.exists) {
    if (S_ISDIR(existing.st.st_mode)) {
      Fail(kErrorAccessDenied);
      return FileHandle();
    }
    if (disposition == kCreateNew) {
      Fail(kErrorFileExists);
      return FileHandle();
    }
    bool truncates = disposition == kCreateAlways || disposition == kTruncateExisting;
    if ((wantWrite || truncates) && IsReadOnlyMode(existing.st.st_mode)) {
      Fail(kErrorAccessDenied);
      return FileHandle();
    }
  } else if (disposition == kOpenExisting || disposition == kTruncateExisting) {
    FailMissing(native);
    return FileHandle();
  }
  // Share-mode locks are read locks, which need a readable descriptor: a
  // writer opens for reading too, unless the file refuses it (then its share
  // mode cannot be announced, as on a file system without locks).
  bool creates = !existing.exists && disposition != kOpenExisting && disposition != kTruncateExisting;
  if (creates && Injected(fault::kCreate)) return FileHandle();
  int flags = O_CLOEXEC | (wantWrite ? O_RDWR : O_RDONLY);
  if (disposition == kCreateNew) flags |= O_CREAT | O_EXCL;
  if (disposition == kCreateAlways || disposition == kOpenAlways) flags |= O_CREAT;
  int fd = ::open(native.c_str(), flags, 0666);
  bool lockable = true;
  if (fd < 0 && errno == EACCES && wantWrite) {
    fd = ::open(native.c_str(), (flags & ~O_RDWR) | O_WRONLY, 0666);
    lockable = false;
  }
  if (fd < 0) {
    if (errno == ENOENT) {
      FailMissing(native);
    } else {
      FailErrno();
    }
    return FileHandle();
  }
  FileHandle handle(fd);
  if (lockable && !AcquireShareMode(fd, access, share)) {
    Fail(kErrorSharingViolation);
    return FileHandle();
  }
  // Truncation waits until the share check passed, as on Windows.
  if (existing.exists && (disposition == kCreateAlways || disposition == kTruncateExisting)) {
    if (::ftruncate(fd, 0) != 0) {
      FailErrno();
      return FileHandle();
    }
  }
  t_lastError = existing.exists && (disposition == kCreateAlways || disposition == kOpenAlways)
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

}  // namespace slv2::fs
