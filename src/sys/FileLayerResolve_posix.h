// The one way the Linux file layer reaches a path: the folder that holds its
// last component, as an open descriptor, and that component's name. Below
// an anchored root (FileLayer.h) the folders are opened from the root's
// descriptor without following links (openat2 with RESOLVE_BENEATH and
// RESOLVE_NO_SYMLINKS where the kernel has it, else an O_NOFOLLOW walk);
// elsewhere links are followed as the kernel does. A component missing with
// its exact case is looked for ignoring case in a per-run cache of folder
// listings that the layer's own changes keep true.
//
// Also for the Linux twins of layers above (access lists, volumes), which
// must reach files the same way.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace slv2::fs::posix {

// An owned file descriptor.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd();
  Fd(Fd&& other) noexcept : fd_(other.Release()) {}
  Fd& operator=(Fd&& other) noexcept;
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

struct Location {
  // O_PATH descriptor of the folder holding `name`: its own, or an anchored
  // root's kept open by `root`.
  int Folder() const { return folder.Valid() ? folder.Get() : borrowed; }
  Fd folder;
  int borrowed = -1;
  std::shared_ptr<const void> root;
  std::string name;       // native name of the last component, case-resolved
  std::string native;     // the whole native path, for messages and old callers
  bool anchored = false;  // below an anchored root: `name` is never followed
  bool exists = false;    // whether `name` exists (as a link, if it is one)
  struct stat st {};      // its lstat when it exists
};

// Finds where `path` lies; false with LastError() set when a folder on the
// way is missing, is a link below an anchored root, or the path climbs above
// its root. An anchored root itself is located from its parent, following a
// link there.
bool Locate(std::string_view path, Location* where);
// Whether the located entry is a link the layer must not follow.
inline bool StopsAtLink(const Location& where) {
  return where.anchored && where.exists && S_ISLNK(where.st.st_mode);
}
// The located entry's status, a link's target's where it may be followed.
struct stat Followed(const Location& where);

// The folder that `path` names as an O_PATH descriptor (an anchored root
// from its cached descriptor): never a link below an anchored root. Invalid
// on failure, with LastError() set.
// `native` and `anchored` (optional) receive its native path and whether
// its entries lie below an anchored root.
Fd OpenFolderOf(std::string_view path, std::string* native = nullptr, bool* anchored = nullptr);

// A folder reached once, as OpenFolderOf reaches it, and kept open by those
// who work in it.
struct SharedFolder {
  Fd fd;               // O_PATH
  std::string native;  // its native path
  std::string key;     // the path it was reached by, "/" for each delimiter
  bool anchored = false;
};
// The held folder of that path (fs::HeldFolder), else the folder newly
// reached; null on failure, with LastError() set.
std::shared_ptr<const SharedFolder> ShareFolder(std::string_view path);
// Locates `path` from `folder` when the path names an entry of it (its
// key, a delimiter, a plain name); false otherwise.
bool LocateIn(const std::shared_ptr<const SharedFolder>& folder, std::string_view path,
              Location* where);

// The entry itself as an O_PATH descriptor, with its status: a regular file
// or a folder, never a link below an anchored root (kErrorStoppedOnSymlink)
// and never a FIFO, device or socket (kErrorCantAccessFile). Invalid on
// failure, with LastError() set.
Fd OpenObject(std::string_view path, struct stat* st);
// The entry opened for changing its rights, attributes or owner through
// the descriptor (fchmod, fchown, fsetxattr): as OpenObject, but opened
// for reading, which a file's or folder's owner and root always may.
Fd OpenForChange(std::string_view path, struct stat* st);
// "/proc/self/fd/N": the name by which path-taking calls reach exactly the
// object of a descriptor; for reading only, every change goes through the
// descriptor itself.
std::string DescriptorPath(int fd);
// The absolute native path of a descriptor's object, links resolved ("" on
// failure).
std::string RealPathOf(int fd);

// The folder cache: what the layer itself created, renamed or removed in a
// folder, so that the cached listing stays true.
void NoteAdded(int folder, const std::string& name);
void NoteRemoved(int folder, const std::string& name);

// Whether a regular file has more than one name and belongs to another
// account than `owner`, or to root: where hard links are not protected, a
// name anyone may plant for a file that is not theirs. Nothing changes such
// a file in place through that name (its content, rights or owner).
bool PlantedHardLink(const struct stat& st, uid_t owner);
// The same below an anchored root, `owner` being the owner of the folder
// that holds the located entry; false elsewhere.
bool PlantedHardLink(const Location& where, const struct stat& st);

// Maps errno to the layer's error code and sets it; always false.
bool FailErrno();
bool Fail(uint32_t code);
uint32_t FromErrno(int e);

// Tests only: false makes the resolver walk component by component as on a
// kernel without openat2.
void UseKernelResolution(bool use);

}  // namespace slv2::fs::posix
