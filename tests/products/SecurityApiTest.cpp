// The Linux twin of the security layer: volumes and accounts of this machine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "AclTestSupport.h"
#include "TestSupport.h"
#include "products/SecurityApi.h"
#include "sys/Cp1251.h"
#include "sys/WinError.h"

namespace slv2::security {
namespace {

// What findmnt says about the mount holding a path.
std::string Findmnt(const std::string& column, const std::string& path) {
  std::string command = "findmnt -n -o " + column + " -T '" + AnsiToUtf8(path) + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return std::string();
  char buffer[512] = {};
  size_t got = std::fread(buffer, 1, sizeof buffer - 1, pipe);
  ::pclose(pipe);
  std::string out(buffer, got);
  while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
    out.pop_back();
  return out;
}

class SecurityApiTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  SecurityApi& api = PlatformSecurityApi();
};

TEST_F(SecurityApiTest, AVolumeIsKnownByAnyPathOnItEvenOneStillToBeMade) {
  std::string future = dir / "not/made/yet.txt";
  VolumeInfo info;
  ASSERT_EQ(api.GetVolumeInfo(future, &info), kErrorSuccess);
  EXPECT_EQ(info.fileSystemName, Findmnt("FSTYPE", dir.Path()));
  EXPECT_EQ(info.volumeName, Findmnt("SOURCE", dir.Path()));
  EXPECT_EQ((info.fileSystemFlags & kFsPersistentAcls) != 0, test::WhyNoAcls(dir.Path()).empty());
  EXPECT_NE(api.DriveType(future), kDriveNoRootDir);
}

TEST_F(SecurityApiTest, KernelFileSystemsKeepNoAccessLists) {
  VolumeInfo info;
  ASSERT_EQ(api.GetVolumeInfo("/proc/version", &info), kErrorSuccess);
  EXPECT_EQ(info.fileSystemName, "proc");
  EXPECT_EQ(info.fileSystemFlags & kFsPersistentAcls, 0u);
  EXPECT_EQ(api.DriveType("/proc/version"), kDriveFixed);
  if (Findmnt("FSTYPE", "/dev/shm") == "tmpfs") {
    EXPECT_EQ(api.DriveType("/dev/shm"), kDriveRamdisk);
  }
}

TEST_F(SecurityApiTest, AccountsAreEveryoneUsersAndGroups) {
  Sid sid;
  Account account;
  ASSERT_EQ(api.LookupAccountName("", "everyone", &sid, &account), kErrorSuccess);
  EXPECT_EQ(sid, (Sid{1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}));  // S-1-1-0
  EXPECT_EQ(account.use, 5u);
  ASSERT_EQ(api.LookupAccountSid("", sid, &account), kErrorSuccess);
  EXPECT_EQ(account.name, "Everyone");
  EXPECT_EQ(account.domain, "");

  ASSERT_EQ(api.LookupAccountName("SERVER", "nobody", &sid, &account), kErrorSuccess);
  EXPECT_EQ(account.use, 1u);
  ASSERT_EQ(api.LookupAccountSid("", sid, &account), kErrorSuccess);
  EXPECT_EQ(account.name, "nobody");
  ASSERT_EQ(api.LookupAccountName("", "nogroup", &sid, &account), kErrorSuccess);
  EXPECT_EQ(account.use, 2u);
  ASSERT_EQ(api.LookupAccountSid("", sid, &account), kErrorSuccess);
  EXPECT_EQ(account.name, "nogroup");

  EXPECT_EQ(api.LookupAccountName("", "no such account", &sid, &account), kErrorNoneMapped);
  Sid unmappedUser = {1, 2, 0, 0, 0, 0, 0, 22, 1, 0, 0, 0, 0xF0, 0xFF, 0xFF, 0x7F};
  EXPECT_EQ(api.LookupAccountSid("", unmappedUser, &account), kErrorNoneMapped);
  EXPECT_EQ(api.LookupAccountSid("", {1, 2, 3}, &account), kErrorNoneMapped);
}

TEST_F(SecurityApiTest, TheComputerNameIsTheHostNameCutToFifteenCharacters) {
  char host[256] = {};
  ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
  std::string name = api.ComputerName();
  EXPECT_FALSE(name.empty());
  EXPECT_LE(name.size(), 15u);
  EXPECT_EQ(std::string(host).substr(0, name.size()), name);
}

TEST_F(SecurityApiTest, LinuxKeepsAccessListsLikeAnNtSystem) {
  EXPECT_EQ(api.PlatformId(), kVerPlatformWin32Nt);
  EXPECT_TRUE(api.Load());
  EXPECT_TRUE(api.Load());
}

}  // namespace
}  // namespace slv2::security
