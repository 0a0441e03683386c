#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "app/OutputFile.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/FileLayerResolve_posix.h"
#include "sys/WinError.h"

namespace slv2 {
namespace {

using fs::posix::Fd;

constexpr int kMaxLinks = 40;
constexpr int kStepFlags = O_PATH | O_NOFOLLOW | O_CLOEXEC;

bool IsStreamMode(mode_t mode) {
  return S_ISCHR(mode) || S_ISFIFO(mode) || S_ISSOCK(mode);
}

// Whether anyone but root and the running user may change what a folder
// holds.
bool OthersMayWrite(int folder) {
  struct stat st;
  return ::fstat(folder, &st) != 0 || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0 ||
         (st.st_uid != 0 && st.st_uid != ::geteuid());
}

Fd OpenTop() {
  return Fd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
}

}  // namespace

struct TOutputFile::Held {
  Fd folder;
  // Registered after the folder is open and gone before it closes: the
  // descriptor's name must not come to mean another folder.
  std::unique_ptr<fs::AnchoredRoot> anchor;
  std::string name;  // native
};

TOutputFile::TOutputFile(const std::string& file) : path_(file) {
  const std::string utf8 = AnsiToUtf8(file);
  Fd folder = OpenTop();
  std::string rest = utf8, shown;  // `shown`: the way so far, for messages
  std::string name;
  for (int links = 0; folder.Valid();) {
    size_t start = rest.find_first_not_of('/');
    if (start == std::string::npos) {
      error_ = kErrorInvalidName;  // no name for a file
      return;
    }
    size_t end = rest.find('/', start);
    name = rest.substr(start, end == std::string::npos ? end : end - start);
    rest = end == std::string::npos ? std::string() : rest.substr(end);
    bool last = rest.find_first_not_of('/') == std::string::npos;
    Fd entry(::openat(folder.Get(), name.c_str(), kStepFlags));
    struct stat st;
    if (!entry.Valid() || ::fstat(entry.Get(), &st) != 0) {
      if (last) break;  // made by the open, or the open tells why not
      error_ = fs::posix::FromErrno(errno);
      return;
    }
    if (S_ISLNK(st.st_mode)) {
      if (OthersMayWrite(folder.Get()) || ++links > kMaxLinks) {
        refusal_ = "a link on the way to " + utf8 + " lies in a folder others may write: " + shown +
                   "/" + name;
        return;
      }
      if (last) break;  // replaced by a report, refused by the log's open
      char target[4096];
      ssize_t n = ::readlinkat(entry.Get(), "", target, sizeof target);
      if (n <= 0 || static_cast<size_t>(n) >= sizeof target) {
        error_ = n < 0 ? fs::posix::FromErrno(errno) : kErrorBadPathname;
        return;
      }
      std::string to(target, static_cast<size_t>(n));
      rest = to + rest;
      if (to[0] == '/') {
        folder = OpenTop();
        shown.clear();
      }
      continue;
    }
    if (last) break;
    if (!S_ISDIR(st.st_mode)) {
      error_ = kErrorPathNotFound;
      return;
    }
    folder = std::move(entry);
    shown += "/" + name;
  }
  if (!folder.Valid()) {
    error_ = fs::posix::FromErrno(errno);
    return;
  }
  struct stat st;
  stream_ = ::fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            IsStreamMode(st.st_mode);
  held_ = std::make_unique<Held>();
  held_->folder = std::move(folder);
  held_->name = name;
  // The folder's own descriptor as an anchored root: whatever the file
  // layer does to the file (a temporary file beside it, the rename over
  // it, the open for appending) is reached from it, never by the path.
  std::string root = fs::posix::DescriptorPath(held_->folder.Get());
  held_->anchor = std::make_unique<fs::AnchoredRoot>(root);
  path_ = root + "/" + fs::FromNativeName(name);
}

TOutputFile::~TOutputFile() = default;

fs::FileHandle TOutputFile::OpenStream() const {
  if (!held_) {
    fs::posix::Fail(kErrorPathNotFound);
    return {};
  }
  Fd out(::openat(held_->folder.Get(), held_->name.c_str(),
                  O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
  struct stat st;
  if (!out.Valid() || ::fstat(out.Get(), &st) != 0) {
    fs::posix::FailErrno();
    return {};
  }
  if (!IsStreamMode(st.st_mode)) {
    fs::posix::Fail(kErrorAccessDenied);
    return {};
  }
  return fs::FileHandle::Adopt(out.Release());
}

}  // namespace slv2
