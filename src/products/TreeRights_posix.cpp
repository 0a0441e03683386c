#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "products/FileRights.h"
#include "products/PosixAcl.h"
#include "products/TreeRights.h"
#include "products/UnixAccounts.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/FileLayerResolve_posix.h"
#include "sys/Format.h"
#include "sys/WinError.h"

namespace slv2 {
namespace {

using fs::posix::Fd;
using security::AccessEntry;

constexpr int kOpenFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// The entries that give Everyone full control, as the security component
// writes them for a file and for a folder.
std::vector<AccessEntry> EveryoneEntries(bool folder) {
  security::Sid everyone = security::SidOf({});
  TFileRights full{frFullControl};
  if (!folder) {
    return {{security::kAccessAllowedAceType, security::kObjectInheritAce, RightsToAccessMask(full),
             everyone}};
  }
  return {{security::kAccessAllowedAceType, security::kObjectInheritAce | security::kInheritOnlyAce,
           RightsToGenericMask(full), everyone},
          {security::kAccessAllowedAceType, security::kContainerInheritAce,
           RightsToAccessMask(full), everyone}};
}

// A folder being walked: where it is, to check the way back up, and its
// sub-folders still to visit.
struct Level {
  struct stat st;
  size_t pathLength;
  std::vector<std::string> folders;
  size_t next = 0;
};

class Walk {
 public:
  explicit Walk(const TreeRightsEvents& events) : events_(events) {}

  bool Run(const std::string& root) {
    struct stat st;
    bool missing = false;
    Fd top = OpenRoot(root, &st, &missing);
    // A tree that is not there has nothing to open; saying so is for the
    // steps that need it.
    if (!top.Valid()) return missing;
    owner_ = st.st_uid;
    path_ = root;
    while (!path_.empty() && (path_.back() == '/' || path_.back() == '\\'))
      path_.pop_back();
    Fd current = std::move(top);
    std::vector<Level> levels;
    levels.push_back(Enter(current.Get(), st));
    // Down by the sub-folders' names, up by "..", checked to be the folder
    // come from: one folder open at a time, whatever the depth.
    while (!levels.empty()) {
      Level& level = levels.back();
      if (level.next < level.folders.size()) {
        const std::string& name = level.folders[level.next++];
        Fd child(::openat(current.Get(), name.c_str(), kOpenFlags | O_DIRECTORY));
        if (!child.Valid() || ::fstat(child.Get(), &st) != 0) continue;  // a link now, or gone
        path_.resize(level.pathLength);
        path_ += "/" + Utf8ToAnsi(name);
        current = std::move(child);
        levels.push_back(Enter(current.Get(), st));
        continue;
      }
      path_.resize(level.pathLength);
      Set(current.Get(), level.st, /*folder=*/true, path_);
      levels.pop_back();
      if (levels.empty()) break;
      Fd parent(::openat(current.Get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      const struct stat& above = levels.back().st;
      if (!parent.Valid() || ::fstat(parent.Get(), &st) != 0 || st.st_dev != above.st_dev ||
          st.st_ino != above.st_ino) {
        // Someone moved a folder of the walk: what lies above it now is
        // not the tree walked.
        path_.resize(levels.back().pathLength);
        Failure(path_, kErrorPathNotFound);
        return false;
      }
      current = std::move(parent);
    }
    return true;
  }

 private:
  // The root as the file layer reaches an anchored root: through a link
  // only where an administrator made it, since a pupil's link may lead to
  // anyone's folder. Invalid, with a failure told, when it cannot be walked
  // as a folder; `missing` when nothing at all lies at its path.
  Fd OpenRoot(const std::string& root, struct stat* st, bool* missing) {
    fs::AnchoredRoot anchor(root);
    // The error is read after each call that can fail: one an earlier call
    // left must not count.
    fs::SetLastError(kErrorSuccess);
    Fd held = fs::posix::OpenFolderOf(root);
    uint32_t error = fs::LastError();
    if (held.Valid()) {
      Fd top(::openat(held.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      if (top.Valid() && ::fstat(top.Get(), st) == 0) return top;
      error = fs::posix::FromErrno(errno);
    }
    if (error == kErrorPathNotFound || error == kErrorFileNotFound) {
      // The layer reads a file where a folder should be as a missing path.
      *missing = fs::GetFileAttributes(root) == fs::kInvalidFileAttributes &&
                 (fs::LastError() == kErrorPathNotFound || fs::LastError() == kErrorFileNotFound);
      if (*missing) return Fd();
      error = kErrorDirectory;
    }
    Failure(root, error);
    return Fd();
  }

  // Lists a folder: its files get their rights now, its sub-folders are
  // kept for later.
  Level Enter(int folder, const struct stat& st) {
    Level level{st, path_.size(), {}, 0};
    int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* d = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (!d) {
      if (listed >= 0) ::close(listed);
      Failure(path_, fs::posix::FromErrno(errno));
      return level;
    }
    while (dirent* e = ::readdir(d)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      if (events_.check) events_.check();
      unsigned char type = e->d_type;
      struct stat entry;
      if (type == DT_UNKNOWN && ::fstatat(folder, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0)
        type = S_ISDIR(entry.st_mode) ? DT_DIR : S_ISREG(entry.st_mode) ? DT_REG : DT_LNK;
      if (type == DT_DIR) {
        level.folders.push_back(std::move(name));
      } else if (type == DT_REG) {
        File(folder, name);
      }
      // Links lead out of the tree and special files are no one's data:
      // both are left as they are.
    }
    ::closedir(d);
    return level;
  }

  void File(int folder, const std::string& name) {
    Fd file(::openat(folder, name.c_str(), kOpenFlags));
    struct stat st;
    if (!file.Valid() || ::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    std::string path = path_ + "/" + Utf8ToAnsi(name);
    if (fs::posix::PlantedHardLink(st, owner_)) {
      if (events_.warning) {
        events_.warning(
            Format("\"%s\" has %u names and belongs to another account: its rights "
                   "are left as they are",
                   path.c_str(), static_cast<unsigned>(st.st_nlink)));
      }
      return;
    }
    Set(file.Get(), st, false, path);
  }

  void Set(int object, const struct stat& st, bool folder, const std::string& path) {
    security::DaclResult written = security::WritePosixAclAt(object, st, EveryoneEntries(folder));
    if (written.error) Failure(path, written.error);
  }

  void Failure(const std::string& path, uint32_t error) {
    if (events_.failure) {
      events_.failure(Format("\"%s\" not opened to all users: %s", path.c_str(),
                             SysErrorMessage(error).c_str()));
    }
  }

  const TreeRightsEvents& events_;
  uid_t owner_ = 0;
  std::string path_;
};

}  // namespace

bool OpenTreeToEveryone(const std::string& root, security::SecurityApi&,
                        const TreeRightsEvents& events) {
  return Walk(events).Run(root);
}

}  // namespace slv2
