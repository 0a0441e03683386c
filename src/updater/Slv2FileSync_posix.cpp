#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include "storage/FileUtil.h"
#include "sys/FaultInjection.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"
#include "updater/Slv2FileSync.h"

namespace slv2::filesync {

namespace {

bool Failed(uint32_t code) {
  fs::SetLastError(code);
  return false;
}

bool FailedErrno() {
  return Failed(errno == ENOENT ? kErrorFileNotFound : kErrorWriteFault);
}

// The file layer's test-only fault hook covers these calls too: a flush
// fails as a full disk would, a rename as an I/O error.
bool Injected(fs::fault::Operation operation) {
  if (!fs::fault::ShouldFail(operation)) return false;
  Failed(operation == fs::fault::kWrite ? kErrorDiskFull : kErrorIoDevice);
  return true;
}

// Every descriptor opened, closed when the object goes.
struct Descriptors {
  std::vector<int> fds;
  ~Descriptors() {
    for (int fd : fds)
      ::close(fd);
  }
};

// One flush per file system that holds any of the paths: a single journal
// commit and a single cache flush of the device make all of them durable,
// where a flush per file pays both for every file. A file lies on the file
// system of its folder, so only the distinct folders are looked at.
bool Flush(const std::vector<std::string>& folders) {
  Descriptors open;
  std::vector<dev_t> devices;
  for (const std::string& folder : folders) {
    int fd = ::open(fs::NativePath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return FailedErrno();
    open.fds.push_back(fd);
    struct stat st;
    if (::fstat(fd, &st) != 0) return FailedErrno();
    if (std::find(devices.begin(), devices.end(), st.st_dev) != devices.end()) continue;
    devices.push_back(st.st_dev);
    if (Injected(fs::fault::kWrite)) return false;
    if (::syncfs(fd) != 0) return FailedErrno();
  }
  return true;
}

std::vector<std::string> FoldersOf(const std::vector<std::string>& files) {
  std::set<std::string> folders;
  for (const std::string& file : files) {
    std::string folder = TgmFileUtil::ExtractFilePath(file);
    folders.insert(folder.empty() ? std::string(".") : folder);
  }
  return std::vector<std::string>(folders.begin(), folders.end());
}

}  // namespace

bool FlushFiles(const std::vector<std::string>& files) {
  return Flush(FoldersOf(files));
}

bool FlushFolders(const std::vector<std::string>& folders) {
  return Flush(folders);
}

bool RenameOver(std::string_view from, std::string_view to) {
  std::string src = fs::NativePath(from), dst = fs::NativePath(to);
  struct stat st;
  if (::lstat(dst.c_str(), &st) == 0 && !S_ISLNK(st.st_mode) &&
      (S_ISDIR(st.st_mode) || (st.st_mode & S_IWUSR) == 0)) {
    return Failed(kErrorAccessDenied);
  }
  if (Injected(fs::fault::kRename)) return false;
  return ::rename(src.c_str(), dst.c_str()) == 0 || FailedErrno();
}

}  // namespace slv2::filesync
