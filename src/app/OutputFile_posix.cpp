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

constexpr int kMaxLinks = 40;

bool OthersMayWrite(const std::string& folder) {
  struct stat st;
  return ::stat(folder.empty() ? "/" : folder.c_str(), &st) != 0 ||
         (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

}  // namespace

bool CheckOutputPath(const std::string& file, std::string& error) {
  std::string rest = AnsiToUtf8(file), done;
  for (int links = 0; !rest.empty();) {
    size_t start = rest.find_first_not_of('/');
    if (start == std::string::npos) break;
    size_t end = rest.find('/', start);
    std::string name = rest.substr(start, end == std::string::npos ? end : end - start);
    rest = end == std::string::npos ? std::string() : rest.substr(end);
    std::string path = done + "/" + name;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) break;  // created later, or the open tells
    if (!S_ISLNK(st.st_mode)) {
      done = path;
      continue;
    }
    if (OthersMayWrite(done) || ++links > kMaxLinks) {
      error = "a link on the way to " + AnsiToUtf8(file) +
              " lies in a folder others may write: " + path;
      return false;
    }
    char target[4096];
    ssize_t n = ::readlink(path.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof target) break;
    std::string to(target, static_cast<size_t>(n));
    rest = to + rest;
    if (to[0] == '/') done.clear();
  }
  return true;
}

bool IsStreamFile(const std::string& file) {
  struct stat st;
  return ::stat(AnsiToUtf8(file).c_str(), &st) == 0 &&
         (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
}

bool WriteToStreamFile(const std::string& file, const std::string& text) {
  fs::posix::Fd out(::open(AnsiToUtf8(file).c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
  struct stat st;
  if (!out.Valid() || ::fstat(out.Get(), &st) != 0) return fs::posix::FailErrno();
  if (!S_ISCHR(st.st_mode) && !S_ISFIFO(st.st_mode) && !S_ISSOCK(st.st_mode)) {
    return fs::posix::Fail(kErrorAccessDenied);
  }
  for (size_t done = 0; done < text.size();) {
    ssize_t n = ::write(out.Get(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fs::posix::FailErrno();
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace slv2
