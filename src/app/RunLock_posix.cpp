#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/RunLock.h"
#include "sys/Cp1251.h"
#include "sys/Format.h"
#include "sys/registry/RegStore.h"

namespace slv2 {

namespace {

// Only the owner may open the file: anyone who can open it can lock it and
// so keep every update from running.
constexpr mode_t kLockFileMode = 0600;

// The folders of the registry, made as the registry itself makes them, so
// that a first run on a fresh machine can lock before the registry opens.
bool MakeFolders(const std::string& path, mode_t mode) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) == 0) return true;
  size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash), mode)) {
    return false;
  }
  return ::mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

// Opens the lock file, creating it when missing. An existing file is opened
// without O_CREAT: in a sticky, world-writable folder (a SLV2_REGISTRY below
// /tmp) the kernel refuses O_CREAT on another user's file even to root.
int OpenLockFile(const std::string& path) {
  for (;;) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0 || errno != ENOENT) return fd;
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, kLockFileMode);
    if (fd >= 0 || errno != EEXIST) return fd;
    // Another run created it meanwhile: open that one.
  }
}

[[noreturn]] void Raise(const char* what, const std::string& path, int error) {
  throw ERunLock(
      Format("%s the lock file \"%s\": %s", what, Utf8ToAnsi(path).c_str(), std::strerror(error)));
}

// The lock file (native path): the registry database's name with ".lock".
std::string RunLockFilePath() {
  return reg::RegistryDatabasePath() + ".lock";
}

}  // namespace

std::unique_ptr<TRunLock> TRunLock::TryAcquire() {
  // A dry run against a registry that does not exist yet reads nothing a
  // run could change, and makes no file where the registry would be.
  struct stat st;
  if (!reg::RegStore::Creates() && ::stat(reg::RegistryDatabasePath().c_str(), &st) != 0 &&
      errno == ENOENT) {
    return std::unique_ptr<TRunLock>(new TRunLock(-1));
  }
  std::string path = RunLockFilePath();
  size_t slash = path.rfind('/');
  // A folder that cannot be made shows as the open's error below.
  if (slash != std::string::npos && slash > 0)
    (void)MakeFolders(path.substr(0, slash), ::geteuid() == 0 ? 0755 : 0700);
  int fd = OpenLockFile(path);
  if (fd < 0) Raise("Cannot open", path, errno);
  // The lock belongs to the open file description: closing it, or the end of
  // the process, gives it up; programs started meanwhile do not inherit it.
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked == 0) return std::unique_ptr<TRunLock>(new TRunLock(fd));
  int error = errno;
  ::close(fd);
  if (error == EWOULDBLOCK) return nullptr;
  Raise("Cannot lock", path, error);
}

TRunLock::~TRunLock() {
  // The file stays: removing it while another run may have it open would let
  // two runs lock two different files of the same name.
  if (FHandle >= 0) ::close(static_cast<int>(FHandle));
}

}  // namespace slv2
