// The Linux twin of the security layer: volumes and accounts of this machine.
#include <gtest/gtest.h>
#include <unistd.h>

#include "AclTestSupport.h"
#include "TestSupport.h"
#include "products/SecurityApi.h"
#include "sys/WinError.h"

namespace slv2::security {
namespace {

TEST(SecurityApiTest, VolumesAreKnownByAnyPathOnThemEvenOneStillToBeMade) {
  test::TempDir dir;
  SecurityApi& api = PlatformSecurityApi();
  VolumeInfo info;
  ASSERT_EQ(api.GetVolumeInfo(dir / "not/made/yet.txt", &info), kErrorSuccess);
  EXPECT_EQ(info.fileSystemName, test::MountOf(dir.Path(), "FSTYPE"));
  EXPECT_EQ(info.volumeName, test::MountOf(dir.Path(), "SOURCE"));
  EXPECT_EQ((info.fileSystemFlags & kFsPersistentAcls) != 0, test::WhyNoAcls(dir.Path()).empty());

  ASSERT_EQ(api.GetVolumeInfo("/proc/version", &info), kErrorSuccess);
  EXPECT_EQ(info.fileSystemName, "proc");
  EXPECT_EQ(info.fileSystemFlags & kFsPersistentAcls, 0u);
  EXPECT_EQ(api.DriveType("/proc/version"), kDriveFixed);
  if (test::MountOf("/dev/shm", "FSTYPE") == "tmpfs") {
    EXPECT_EQ(api.DriveType("/dev/shm"), kDriveRamdisk);
  }
}

TEST(SecurityApiTest, AccountsAreEveryoneAndTheUsersAndGroupsOfTheNameService) {
  SecurityApi& api = PlatformSecurityApi();
  Sid sid;
  Account account;
  ASSERT_EQ(api.LookupAccountName("", "everyone", &sid, &account), kErrorSuccess);
  EXPECT_EQ(sid, (Sid{1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}));  // S-1-1-0
  ASSERT_EQ(api.LookupAccountSid("", sid, &account), kErrorSuccess);
  EXPECT_EQ(account.name, "Everyone");
  EXPECT_EQ(account.use, 5u);
  for (auto [name, use] : {std::pair{"nobody", 1u}, std::pair{"nogroup", 2u}}) {
    ASSERT_EQ(api.LookupAccountName("SERVER", name, &sid, &account), kErrorSuccess);
    ASSERT_EQ(api.LookupAccountSid("", sid, &account), kErrorSuccess);
    EXPECT_EQ(account.name, name);
    EXPECT_EQ(account.use, use);
  }
  EXPECT_EQ(api.LookupAccountName("", "no such account", &sid, &account), kErrorNoneMapped);
  Sid unmappedUser = {1, 2, 0, 0, 0, 0, 0, 22, 1, 0, 0, 0, 0xF0, 0xFF, 0xFF, 0x7F};
  EXPECT_EQ(api.LookupAccountSid("", unmappedUser, &account), kErrorNoneMapped);

  char host[256] = {};
  ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
  std::string name = api.ComputerName();
  EXPECT_LE(name.size(), 15u);
  EXPECT_EQ(std::string(host).substr(0, name.size()), name);
  EXPECT_EQ(api.PlatformId(), kVerPlatformWin32Nt);  // Linux keeps access lists
}

}  // namespace
}  // namespace slv2::security
