// The administrator check for the process's token and for a thread that
// impersonates another one.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/AdminRights.h"
#include "sys/WindowsApi.h"

namespace slv2 {
namespace {

// Runs the check while the calling thread impersonates the anonymous logon,
// whose token lists no Administrators group; -1 when that is not possible.
int CheckAsAnonymous() {
  if (!::ImpersonateAnonymousToken(::GetCurrentThread())) return -1;
  bool result = IsUserAdministrator();
  ::RevertToSelf();
  return result ? 1 : 0;
}

TEST(AdminRightsTest, TheThreadsTokenComesBeforeTheProcesss) {
  // The tests run elevated on Windows; Wine's user is an administrator.
  EXPECT_TRUE(IsUserAdministrator());
  // A thread token that is a copy of the process's passes as well.
  ASSERT_TRUE(::ImpersonateSelf(SecurityImpersonation));
  EXPECT_TRUE(IsUserAdministrator());
  ::RevertToSelf();

  int anonymous = CheckAsAnonymous();
  if (anonymous < 0) SLV2_SKIP_ON_WINE("no impersonation of the anonymous logon");
  EXPECT_EQ(anonymous, 0);
  EXPECT_TRUE(IsUserAdministrator());
}

}  // namespace
}  // namespace slv2
