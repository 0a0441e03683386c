// The administrator check, for root and for an ordinary account with and
// without an administrators' group (run in a child process that drops root).
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "app/AdminRights.h"

namespace slv2 {
namespace {

constexpr uid_t kNobody = 65534;

// The check's answer in a child running as nobody with the given groups;
// -1 when the identity could not be changed.
int CheckAsNobody(const std::vector<gid_t>& groups) {
  pid_t child = ::fork();
  if (child == 0) {
    if (::setgroups(groups.size(), groups.data()) != 0 ||
        ::setresgid(kNobody, kNobody, kNobody) != 0 ||
        ::setresuid(kNobody, kNobody, kNobody) != 0) {
      ::_exit(2);
    }
    ::_exit(IsUserAdministrator() ? 1 : 0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) == 2) return -1;
  return WEXITSTATUS(status);
}

TEST(AdminRightsTest, RootAndTheAdministratorsGroupsPassOthersDoNot) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to take other identities";
  EXPECT_TRUE(IsUserAdministrator());
  EXPECT_EQ(CheckAsNobody({}), 0);
  const group* sudo = ::getgrnam("sudo");
  if (!sudo) GTEST_SKIP() << "no group sudo on this system";
  EXPECT_EQ(CheckAsNobody({sudo->gr_gid}), 1);
  // An unrelated group grants nothing.
  EXPECT_EQ(CheckAsNobody({sudo->gr_gid + 1000}), 0);
}

}  // namespace
}  // namespace slv2
