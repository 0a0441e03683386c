#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/acl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "AclTestSupport.h"
#include "sys/Cp1251.h"

namespace slv2::test {

namespace {

std::string Quoted(const std::string& path) {
  return " '" + AnsiToUtf8(path) + "'";
}

}  // namespace

std::string GetFacl(const std::string& path) {
  return CommandOutput("getfacl --omit-header --absolute-names --no-effective" + Quoted(path));
}

std::string WhyNoAcls(const std::string& folder) {
  acl_t probe = acl_get_file(AnsiToUtf8(folder).c_str(), ACL_TYPE_ACCESS);
  if (!probe) {
    return "the file system of " + AnsiToUtf8(folder) + " keeps no access lists (" +
           std::strerror(errno) + ")";
  }
  acl_free(probe);
  return std::string();
}

bool AsNobody(const std::function<bool()>& check) {
  const passwd* nobody = ::getpwnam("nobody");
  if (!nobody) return false;
  uid_t uid = nobody->pw_uid;
  gid_t gid = nobody->pw_gid;
  std::fflush(nullptr);
  pid_t child = ::fork();
  if (child == 0) {
    bool switched = ::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(uid) == 0;
    ::_exit(switched && check() ? 0 : 1);
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

}  // namespace slv2::test
