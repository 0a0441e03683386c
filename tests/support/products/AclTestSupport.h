// Fixtures of the file-permission tests: the acl tools as an independent
// view and maker of a file's lists, and checks run as another user.
#pragma once

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/acl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "TestSupport.h"
#include "sys/Cp1251.h"

namespace slv2::test {

inline std::string Quoted(const std::string& path) {
  return " '" + AnsiToUtf8(path) + "'";
}

// The lists of a path as getfacl prints them, without header and comments.
inline std::string GetFacl(const std::string& path) {
  return CommandOutput("getfacl --omit-header --absolute-names --no-effective" + Quoted(path));
}

// Runs setfacl with `options` on a path; fails the test when it fails.
inline void SetFacl(const std::string& options, const std::string& path) {
  ASSERT_EQ(std::system(("setfacl " + options + Quoted(path)).c_str()), 0) << options;
}

// Why access lists cannot be tested in `folder`, or "" when they can.
inline std::string WhyNoAcls(const std::string& folder) {
  acl_t probe = acl_get_file(AnsiToUtf8(folder).c_str(), ACL_TYPE_ACCESS);
  if (!probe) {
    return "the file system of " + AnsiToUtf8(folder) + " keeps no access lists (" +
           std::strerror(errno) + ")";
  }
  acl_free(probe);
  return std::string();
}

// Runs `check` in a child process as the user nobody; needs root.
inline bool AsNobody(const std::function<bool()>& check) {
  const passwd* nobody = ::getpwnam("nobody");
  if (!nobody) return false;
  std::fflush(nullptr);
  pid_t child = ::fork();
  if (child == 0) {
    bool switched = ::setgroups(0, nullptr) == 0 && ::setgid(nobody->pw_gid) == 0 &&
                    ::setuid(nobody->pw_uid) == 0;
    ::_exit(switched && check() ? 0 : 1);
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

}  // namespace slv2::test
