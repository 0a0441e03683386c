// The Linux file layer's resolver and its cache of folder listings.
#include "sys/FileLayerResolve_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/FileLayerRoots.h"
#include "sys/WinError.h"

namespace slv2::fs::posix {

Fd::~Fd() {
  if (fd_ >= 0) ::close(fd_);
}

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.Release();
  }
  return *this;
}

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
    case ELOOP:
      return kErrorStoppedOnSymlink;
    case ENXIO:
    case ENODEV:
      return kErrorCantAccessFile;
    case ENOTSUP:
      return kErrorNotSupported;
    default:
      return kErrorInvalidParameter;
  }
}

bool Fail(uint32_t code) {
  SetLastError(code);
  return false;
}

bool FailErrno() {
  return Fail(FromErrno(errno));
}

constexpr std::string_view kDescriptorFolder = "/proc/self/fd/";

std::string DescriptorPath(int fd) {
  return std::string(kDescriptorFolder) + std::to_string(fd);
}

std::string RealPathOf(int fd) {
  char buffer[4096];
  ssize_t n = ::readlink(DescriptorPath(fd).c_str(), buffer, sizeof buffer);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return std::string();
  return std::string(buffer, static_cast<size_t>(n));
}

namespace {

std::atomic<bool> g_kernelResolution{true};

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

// --- the folder cache -------------------------------------------------------

// A folder's names by their upper-cased program text, valid while the
// folder's change stamp is the one seen when it was listed (or after the
// layer's own last change in it).
struct Stamp {
  struct timespec mtime {};
  off_t size = 0;
  nlink_t links = 0;
  bool operator==(const Stamp& o) const {
    return mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec && size == o.size &&
           links == o.links;
  }
};
struct CachedFolder {
  Stamp stamp;
  std::unordered_map<std::string, std::string> names;
};
using FolderKey = std::pair<dev_t, ino_t>;

// Far more names than any product holds; past it the cache starts over.
constexpr size_t kMaxCachedNames = size_t{1} << 20;

std::mutex g_cacheMutex;
std::map<FolderKey, CachedFolder> g_cache;
size_t g_cachedNames = 0;

Stamp StampOf(const struct stat& st) {
  return Stamp{st.st_mtim, st.st_size, st.st_nlink};
}

std::string KeyOf(const std::string& native) {
  return AnsiUpperCase(Utf8ToAnsi(native));
}

bool ListInto(int folder, CachedFolder* cached) {
  int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* d = ::fdopendir(fd);
  if (!d) {
    ::close(fd);
    return false;
  }
  while (dirent* e = ::readdir(d)) {
    std::string native = e->d_name;
    if (native == "." || native == "..") continue;
    cached->names.emplace(KeyOf(native), std::move(native));
  }
  ::closedir(d);
  return true;
}

// The native name of the entry of `folder` that equals `ansiName` ignoring
// case (Windows-1251 letters included), or "".
std::string FindIgnoringCase(int folder, const std::string& ansiName) {
  struct stat st;
  if (::fstat(folder, &st) != 0) return std::string();
  FolderKey key{st.st_dev, st.st_ino};
  std::lock_guard<std::mutex> lock(g_cacheMutex);
  auto it = g_cache.find(key);
  if (it == g_cache.end() || !(it->second.stamp == StampOf(st))) {
    CachedFolder fresh;
    fresh.stamp = StampOf(st);
    if (!ListInto(folder, &fresh)) return std::string();
    if (it != g_cache.end()) g_cachedNames -= it->second.names.size();
    if (g_cachedNames + fresh.names.size() > kMaxCachedNames) {
      g_cache.clear();
      g_cachedNames = 0;
    }
    g_cachedNames += fresh.names.size();
    it = g_cache.insert_or_assign(key, std::move(fresh)).first;
  }
  auto found = it->second.names.find(AnsiUpperCase(ansiName));
  return found == it->second.names.end() ? std::string() : found->second;
}

template <typename Change>
void Note(int folder, Change change) {
  {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    if (g_cache.empty()) return;
  }
  struct stat st;
  if (::fstat(folder, &st) != 0) return;
  std::lock_guard<std::mutex> lock(g_cacheMutex);
  auto it = g_cache.find(FolderKey{st.st_dev, st.st_ino});
  if (it == g_cache.end()) return;
  change(it->second.names);
  it->second.stamp = StampOf(st);
}

// --- resolution -------------------------------------------------------------

// openat2 below `root` without links; -1 with errno ENOSYS where the kernel
// lacks it.
int OpenBeneath(int root, const std::string& relative, int flags) {
  static std::atomic<bool> absent{false};
  if (absent.load(std::memory_order_relaxed) || !g_kernelResolution.load()) {
    errno = ENOSYS;
    return -1;
  }
  struct open_how how {};
  how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  long fd = ::syscall(SYS_openat2, root, relative.c_str(), &how, sizeof how);
  if (fd < 0 && errno == ENOSYS) absent = true;
  return static_cast<int>(fd);
}

// Opens the folder `native` of `at` (following a link unless `noFollow`),
// looking for it ignoring case when it is missing as written. On a refusal
// of a link the error is kErrorStoppedOnSymlink.
Fd OpenFolderStep(int at, std::string* native, const std::string& ansi, bool noFollow) {
  int flags = kFolderFlags | (noFollow ? O_NOFOLLOW : 0);
  int fd = ::openat(at, native->c_str(), flags);
  if (fd < 0 && errno == ENOENT && ansi != "." && ansi != "..") {
    std::string found = FindIgnoringCase(at, ansi);
    if (!found.empty()) {
      *native = found;
      fd = ::openat(at, native->c_str(), flags);
    }
  }
  if (fd >= 0) return Fd(fd);
  int error = errno;
  struct stat st;
  if (noFollow && (error == ENOTDIR || error == ELOOP) &&
      ::fstatat(at, native->c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
    Fail(kErrorStoppedOnSymlink);
  } else {
    Fail(error == ENOENT || error == ENOTDIR ? kErrorPathNotFound : FromErrno(error));
  }
  return Fd();
}

// Links an administrator made are followed, as a web server follows links
// whose owner it trusts: a link owned by root or the running user, with
// one name only (a hard link to someone else's link would borrow its
// owner), its target reached by the same rules. Any other is refused.
constexpr int kMaxTrustedLinks = 40;

bool TrustedLink(const struct stat& st) {
  return S_ISLNK(st.st_mode) && st.st_nlink == 1 && (st.st_uid == 0 || st.st_uid == ::geteuid());
}

Fd FollowTrusted(int at, const std::string& target, int depth);

// OpenFolderStep without following links, but through a trusted link.
Fd TrustingStep(int at, std::string* native, const std::string& ansi, int depth) {
  Fd fd = OpenFolderStep(at, native, ansi, true);
  if (fd.Valid() || LastError() != kErrorStoppedOnSymlink) return fd;
  // The link itself is opened, so that its owner and its target are read
  // from the one object even if another is swapped in meanwhile.
  Fd link(::openat(at, native->c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  struct stat st;
  char target[4096];
  ssize_t n = -1;
  if (link.Valid() && ::fstat(link.Get(), &st) == 0 && TrustedLink(st) &&
      depth < kMaxTrustedLinks) {
    n = ::readlinkat(link.Get(), "", target, sizeof target);
  }
  if (n <= 0 || static_cast<size_t>(n) >= sizeof target) {
    Fail(kErrorStoppedOnSymlink);
    return Fd();
  }
  return FollowTrusted(at, std::string(target, static_cast<size_t>(n)), depth + 1);
}

// The folder a trusted link's target names, from the folder holding the
// link (a relative target) or from "/".
Fd FollowTrusted(int at, const std::string& target, int depth) {
  Fd current(
      ::openat(target[0] == '/' ? AT_FDCWD : at, target[0] == '/' ? "/" : ".", kFolderFlags));
  size_t i = 0;
  while (current.Valid() && i < target.size()) {
    size_t j = target.find('/', i);
    if (j == std::string::npos) j = target.size();
    std::string native = target.substr(i, j - i);
    i = j + 1;
    if (native.empty() || native == ".") continue;
    current = TrustingStep(current.Get(), &native, Utf8ToAnsi(native), depth);
  }
  return current;
}

// The folder `components` below `root`, reached without links; `natives`
// receives the components' native names.
Fd WalkBeneath(int root, const std::vector<std::string>& components,
               std::vector<std::string>* natives) {
  natives->clear();
  std::string relative;
  for (const std::string& c : components) {
    natives->push_back(AnsiToUtf8(c));
    relative += (relative.empty() ? "" : "/") + natives->back();
  }
  if (relative.empty()) return Fd(::openat(root, ".", kFolderFlags));
  int fd = OpenBeneath(root, relative, kFolderFlags);
  if (fd >= 0) return Fd(fd);
  if (errno != ENOENT && errno != ENOTDIR && errno != ELOOP && errno != EXDEV && errno != ENOSYS &&
      errno != EAGAIN) {
    FailErrno();
    return Fd();
  }
  Fd current(::openat(root, ".", kFolderFlags));
  for (size_t i = 0; i < components.size() && current.Valid(); ++i) {
    current = TrustingStep(current.Get(), &(*natives)[i], components[i], 0);
  }
  return current;
}

std::string Joined(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The last component: its status, and its name ignoring case when it is
// missing as written.
void FindEntry(Location* where, const std::string& ansiName) {
  where->exists =
      ::fstatat(where->Folder(), where->name.c_str(), &where->st, AT_SYMLINK_NOFOLLOW) == 0;
  if (where->exists || ansiName == "." || ansiName == "..") return;
  std::string found = FindIgnoringCase(where->Folder(), ansiName);
  if (found.empty()) return;
  where->name = found;
  where->exists =
      ::fstatat(where->Folder(), where->name.c_str(), &where->st, AT_SYMLINK_NOFOLLOW) == 0;
}

// A path outside every anchored root: links followed as the kernel does.
bool LocatePlain(std::string_view path, Location* where) {
  bool absolute = false;
  std::vector<std::string> components = detail::SplitComponents(path, &absolute);
  std::string ansiName = components.empty() ? "." : components.back();
  if (!components.empty()) components.pop_back();
  std::string parent = absolute ? "/" : "";
  for (const std::string& c : components)
    parent = Joined(parent, AnsiToUtf8(c));
  int fd = ::open(parent.empty() ? "." : parent.c_str(), kFolderFlags);
  if (fd >= 0) {
    where->folder = Fd(fd);
  } else {
    if (errno != ENOENT) return FailErrno();
    // Some folder is missing as written: walk, looking for each ignoring case.
    Fd current(::open(absolute ? "/" : ".", kFolderFlags));
    parent = absolute ? "/" : "";
    for (const std::string& c : components) {
      if (!current.Valid()) break;
      std::string native = AnsiToUtf8(c);
      current = OpenFolderStep(current.Get(), &native, c, false);
      parent = Joined(parent, native);
    }
    if (!current.Valid()) return false;
    where->folder = std::move(current);
  }
  where->anchored = false;
  where->name = AnsiToUtf8(ansiName);
  FindEntry(where, ansiName);
  where->native = Joined(parent, where->name);
  if (where->native.empty()) where->native = ".";
  return true;
}

// --- roots -----------------------------------------------------------------

// An anchored root, open while it is registered.
struct OpenRoot {
  Fd fd;
  std::string native;
  struct stat st {};
  // A root below another registered root (a product folder in the shell
  // folder, which every user may write) is reached from that one's
  // descriptor: `enclosing` and the native names between.
  std::shared_ptr<const OpenRoot> enclosing;
  std::vector<std::string> below;
};

std::mutex g_rootsMutex;
std::map<std::string, std::shared_ptr<const OpenRoot>> g_openRoots;

std::shared_ptr<const OpenRoot> RootOf(const std::string& root);

bool SameObject(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether a nested root's name still leads to the folder first reached:
// swapping it for a link (or another folder) mid-run makes every path below
// it fail rather than be taken elsewhere.
bool StillInPlace(const OpenRoot& root) {
  Fd current(::openat(root.enclosing->fd.Get(), ".", kFolderFlags));
  for (size_t i = 0; i < root.below.size() && current.Valid(); ++i) {
    std::string native = root.below[i];
    current = TrustingStep(current.Get(), &native, Utf8ToAnsi(native), 0);
  }
  struct stat st;
  if (current.Valid() && ::fstat(current.Get(), &st) == 0 && SameObject(st, root.st)) return true;
  return Fail(kErrorStoppedOnSymlink);
}

// A root below another one, walked to from that one's descriptor.
bool OpenNested(const detail::Anchor& outer, OpenRoot* fresh) {
  fresh->enclosing = RootOf(outer.root);
  if (!fresh->enclosing) return false;
  fresh->fd = WalkBeneath(fresh->enclosing->fd.Get(), outer.below, &fresh->below);
  fresh->native = fresh->enclosing->native;
  for (const std::string& n : fresh->below)
    fresh->native = Joined(fresh->native, n);
  return fresh->fd.Valid();
}

// A root below no other, reached by its path once, when first asked for:
// links on that path are followed only where trusted. A descriptor's own
// name (DescriptorPath) is the very folder the caller holds open, never the
// path its link text names.
bool OpenTop(const std::string& root, OpenRoot* fresh) {
  Location where;
  if (!LocatePlain(root, &where)) return false;
  fresh->native = where.native;
  if (where.native.rfind(kDescriptorFolder, 0) == 0) {
    fresh->fd = Fd(::open(where.native.c_str(), kFolderFlags));
    return fresh->fd.Valid() || FailErrno();
  }
  fresh->fd = FollowTrusted(AT_FDCWD, where.native, 0);
  return fresh->fd.Valid();
}

std::shared_ptr<const OpenRoot> RootOf(const std::string& root) {
  std::shared_ptr<const OpenRoot> open;
  {
    std::lock_guard<std::mutex> lock(g_rootsMutex);
    auto it = g_openRoots.find(root);
    if (it != g_openRoots.end()) open = it->second;
  }
  // The root stays the folder first reached while it exists.
  struct stat st;
  if (open && ::fstat(open->fd.Get(), &st) == 0 && st.st_nlink > 0) {
    return !open->enclosing || StillInPlace(*open) ? open : nullptr;
  }
  auto fresh = std::make_shared<OpenRoot>();
  detail::Anchor outer;
  bool opened = detail::FindEnclosingAnchor(root, &outer) ? OpenNested(outer, fresh.get())
                                                          : OpenTop(root, fresh.get());
  if (!opened) return nullptr;
  if (::fstat(fresh->fd.Get(), &fresh->st) != 0) {
    FailErrno();
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(g_rootsMutex);
  if (g_openRoots.size() >= 64) g_openRoots.clear();
  g_openRoots[root] = fresh;
  return fresh;
}

// --- held folders -----------------------------------------------------------

// A folder held open (fs::HeldFolder), found by its path as written with
// "/" for every delimiter and none at the end.
struct Held : SharedFolder {
  uint64_t generation = 0;
};

std::mutex g_heldMutex;
std::unordered_map<std::string, std::shared_ptr<const Held>> g_held;
std::atomic<size_t> g_heldCount{0};

bool IsDelimiter(char c) {
  return c == '/' || c == '\\';
}

// The key of an absolute folder path; "" for any other.
std::string HeldKey(std::string_view folder) {
  while (folder.size() > 1 && IsDelimiter(folder.back()))
    folder.remove_suffix(1);
  if (folder.size() < 2 || !IsDelimiter(folder[0])) return std::string();
  std::string key(folder);
  std::replace(key.begin(), key.end(), '\\', '/');
  return key;
}

std::shared_ptr<const Held> FindHeld(const std::string& key) {
  if (g_heldCount.load(std::memory_order_relaxed) == 0 || key.empty()) return nullptr;
  std::lock_guard<std::mutex> lock(g_heldMutex);
  auto it = g_held.find(key);
  if (it == g_held.end() || it->second->generation != detail::RootsGeneration()) return nullptr;
  return it->second;
}

// The last component of a path below some folder other than "/", when it
// is a plain name; `path` is cut to its folder and delimiter.
bool SplitLast(std::string_view& path, std::string_view* ansiName) {
  size_t end = path.size();
  while (end > 0 && IsDelimiter(path[end - 1]))
    --end;
  size_t slash = path.substr(0, end).find_last_of("/\\");
  if (slash == std::string_view::npos || slash == 0) return false;
  *ansiName = path.substr(slash + 1, end - slash - 1);
  path = path.substr(0, slash + 1);
  return !ansiName->empty() && *ansiName != "." && *ansiName != "..";
}

// The held folder that holds the path's last component (a plain name),
// with that name; null when there is none.
std::shared_ptr<const Held> HeldParent(std::string_view path, std::string_view* ansiName) {
  if (g_heldCount.load(std::memory_order_relaxed) == 0) return nullptr;
  if (!SplitLast(path, ansiName)) return nullptr;
  return FindHeld(HeldKey(path));
}

// Locates the entry `ansiName` of a shared folder from its descriptor.
void LocateEntry(const std::shared_ptr<const SharedFolder>& folder, std::string_view ansiName,
                 Location* where) {
  where->borrowed = folder->fd.Get();
  where->root = folder;
  where->anchored = folder->anchored;
  where->name = AnsiToUtf8(ansiName);
  FindEntry(where, std::string(ansiName));
  where->native = Joined(folder->native, where->name);
}

// Locates an entry of a held folder from the folder's descriptor; false
// when the path's folder is not held.
bool LocateHeld(std::string_view path, Location* where) {
  std::string_view ansiName;
  std::shared_ptr<const Held> held = HeldParent(path, &ansiName);
  if (!held) return false;
  LocateEntry(held, ansiName, where);
  return true;
}

}  // namespace

}  // namespace slv2::fs::posix

namespace slv2::fs::detail {

void ForgetRoot(const std::string& root) {
  std::lock_guard<std::mutex> lock(posix::g_rootsMutex);
  posix::g_openRoots.erase(root);
}

}  // namespace slv2::fs::detail

namespace slv2::fs::posix {

void UseKernelResolution(bool use) {
  g_kernelResolution = use;
}

void NoteAdded(int folder, const std::string& name) {
  Note(folder, [&name](auto& names) { names.emplace(KeyOf(name), name); });
}

void NoteRemoved(int folder, const std::string& name) {
  Note(folder, [&name](auto& names) {
    auto it = names.find(KeyOf(name));
    if (it != names.end() && it->second == name) names.erase(it);
  });
}

bool Locate(std::string_view path, Location* where) {
  if (LocateHeld(path, where)) return true;
  detail::Anchor anchor;
  if (!detail::FindAnchor(path, &anchor)) return LocatePlain(path, where);
  std::vector<std::string> below;
  for (const std::string& c : anchor.below) {
    if (c != "..") {
      below.push_back(c);
    } else if (below.empty()) {
      return Fail(kErrorBadPathname);  // above the root
    } else {
      below.pop_back();
    }
  }
  if (below.empty()) {
    detail::Anchor outer;
    if (!detail::FindEnclosingAnchor(anchor.root, &outer)) return LocatePlain(anchor.root, where);
    // A root below another is the folder its descriptor holds; while it
    // is missing, an entry of the enclosing root like any other.
    if (std::shared_ptr<const OpenRoot> root = RootOf(anchor.root)) {
      where->borrowed = root->fd.Get();
      where->root = root;
      where->anchored = true;
      where->name = ".";
      FindEntry(where, ".");
      where->native = root->native;
      return true;
    }
    if (LastError() != kErrorPathNotFound && LastError() != kErrorFileNotFound) return false;
    anchor.root = outer.root;
    below = outer.below;
  }
  std::shared_ptr<const OpenRoot> root = RootOf(anchor.root);
  if (!root) return false;
  std::string ansiName = below.back();
  below.pop_back();
  std::vector<std::string> natives;
  if (below.empty()) {
    where->borrowed = root->fd.Get();
    where->root = root;
  } else {
    where->folder = WalkBeneath(root->fd.Get(), below, &natives);
    if (!where->folder.Valid()) return false;
  }
  where->anchored = true;
  where->name = AnsiToUtf8(ansiName);
  FindEntry(where, ansiName);
  where->native = root->native;
  for (const std::string& n : natives)
    where->native = Joined(where->native, n);
  where->native = Joined(where->native, where->name);
  return true;
}

namespace {

// Locates an entry that exists (else `missing`) and is no link the layer
// must not follow.
bool LocateReachable(std::string_view path, uint32_t missing, Location* where) {
  if (!Locate(path, where)) return false;
  if (!where->exists) return Fail(missing);
  return !StopsAtLink(*where) || Fail(kErrorStoppedOnSymlink);
}

}  // namespace

namespace {

// A folder opened again from its own descriptor: "." needs the right to
// search it, which a folder closed to the running user denies.
Fd Reopened(int folder) {
  Fd fd(::openat(folder, ".", kFolderFlags));
  if (!fd.Valid()) FailErrno();
  return fd;
}

}  // namespace

Fd OpenFolderOf(std::string_view path, std::string* native, bool* anchored) {
  std::shared_ptr<const Held> held = FindHeld(HeldKey(path));
  if (held) {
    if (native) *native = held->native;
    if (anchored) *anchored = held->anchored;
    return Reopened(held->fd.Get());
  }
  detail::Anchor anchor;
  std::string_view name;
  if (!HeldParent(path, &name) && detail::FindAnchor(path, &anchor) && anchor.below.empty()) {
    std::shared_ptr<const OpenRoot> root = RootOf(anchor.root);
    if (!root) return Fd();
    if (native) *native = root->native;
    if (anchored) *anchored = true;
    return Reopened(root->fd.Get());
  }
  Location where;
  if (!LocateReachable(path, kErrorPathNotFound, &where)) return Fd();
  Fd fd(::openat(where.Folder(), where.name.c_str(),
                 kFolderFlags | (where.anchored ? O_NOFOLLOW : 0)));
  if (!fd.Valid())
    Fail(errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound : FromErrno(errno));
  if (native) *native = where.native;
  if (anchored) *anchored = where.anchored;
  return fd;
}

std::shared_ptr<const SharedFolder> ShareFolder(std::string_view path) {
  std::string key = HeldKey(path);
  if (std::shared_ptr<const Held> held = FindHeld(key)) return held;
  auto folder = std::make_shared<SharedFolder>();
  folder->fd = OpenFolderOf(path, &folder->native, &folder->anchored);
  if (!folder->fd.Valid()) return nullptr;
  folder->key = std::move(key);
  return folder;
}

bool LocateIn(const std::shared_ptr<const SharedFolder>& folder, std::string_view path,
              Location* where) {
  std::string_view ansiName;
  if (!folder || folder->key.empty() || !SplitLast(path, &ansiName) ||
      HeldKey(path) != folder->key) {
    return false;
  }
  LocateEntry(folder, ansiName, where);
  return true;
}

struct stat Followed(const Location& where) {
  struct stat target = where.st;
  if (where.exists && S_ISLNK(where.st.st_mode) && !where.anchored) {
    ::fstatat(where.Folder(), where.name.c_str(), &target, 0);
  } else if (where.exists && S_ISLNK(where.st.st_mode)) {
    // Only whether it leads to a folder is told (as Windows marks a
    // folder's link): nothing is read through it.
    struct stat through;
    if (::fstatat(where.Folder(), where.name.c_str(), &through, 0) == 0 &&
        S_ISDIR(through.st_mode)) {
      target.st_mode = S_IFDIR | (where.st.st_mode & 07777);
    }
  }
  return target;
}

Fd OpenObject(std::string_view path, struct stat* st) {
  Location where;
  if (!LocateReachable(path, kErrorFileNotFound, &where)) return Fd();
  int flags = O_PATH | O_CLOEXEC | (where.anchored ? O_NOFOLLOW : 0);
  Fd fd(::openat(where.Folder(), where.name.c_str(), flags));
  if (!fd.Valid() || ::fstat(fd.Get(), st) != 0) {
    FailErrno();
    return Fd();
  }
  if (S_ISLNK(st->st_mode)) {
    Fail(kErrorStoppedOnSymlink);
    return Fd();
  }
  if (!S_ISREG(st->st_mode) && !S_ISDIR(st->st_mode)) {
    Fail(kErrorCantAccessFile);
    return Fd();
  }
  return fd;
}

bool PlantedHardLink(const struct stat& st, uid_t owner) {
  return S_ISREG(st.st_mode) && st.st_nlink > 1 && (st.st_uid != owner || st.st_uid == 0);
}

bool PlantedHardLink(const Location& where, const struct stat& st) {
  struct stat folder;
  return where.anchored && S_ISREG(st.st_mode) && st.st_nlink > 1 &&
         (::fstat(where.Folder(), &folder) != 0 || PlantedHardLink(st, folder.st_uid));
}

Fd OpenForChange(std::string_view path, struct stat* st) {
  Location where;
  if (!LocateReachable(path, kErrorFileNotFound, &where)) return Fd();
  // A device's open may act on the device: only the two kinds are opened.
  if (!S_ISREG(where.st.st_mode) && !S_ISDIR(where.st.st_mode) && !S_ISLNK(where.st.st_mode)) {
    Fail(kErrorCantAccessFile);
    return Fd();
  }
  int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (where.anchored ? O_NOFOLLOW : 0);
  Fd fd(::openat(where.Folder(), where.name.c_str(), flags));
  if (!fd.Valid() || ::fstat(fd.Get(), st) != 0) {
    FailErrno();
    return Fd();
  }
  if (!S_ISREG(st->st_mode) && !S_ISDIR(st->st_mode)) {
    Fail(kErrorCantAccessFile);
    return Fd();
  }
  if (PlantedHardLink(where, *st)) {
    Fail(kErrorAccessDenied);
    return Fd();
  }
  return fd;
}

}  // namespace slv2::fs::posix

namespace slv2::fs {

HeldFolder::HeldFolder(std::string_view folder) {
  using namespace posix;
  std::string key = HeldKey(folder);
  if (key.empty() || detail::HasRootBelow(folder)) return;
  auto held = std::make_shared<Held>();
  held->generation = detail::RootsGeneration();
  held->fd = OpenFolderOf(folder, &held->native, &held->anchored);
  // A folder that cannot be reached is not held: what is asked of its
  // entries fails as it would without.
  if (!held->fd.Valid()) return;
  held->key = std::move(key);
  std::lock_guard<std::mutex> lock(g_heldMutex);
  g_held[held->key] = held;
  g_heldCount = g_held.size();
  state_ = std::move(held);
}

HeldFolder::~HeldFolder() {
  Release();
}

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
  if (this != &other) {
    Release();
    state_ = std::move(other.state_);
  }
  return *this;
}

void HeldFolder::Release() {
  if (!state_) return;
  using namespace posix;
  auto held = std::static_pointer_cast<const Held>(state_);
  std::lock_guard<std::mutex> lock(g_heldMutex);
  auto it = g_held.find(held->key);
  if (it != g_held.end() && it->second == held) g_held.erase(it);
  g_heldCount = g_held.size();
  state_.reset();
}

}  // namespace slv2::fs
