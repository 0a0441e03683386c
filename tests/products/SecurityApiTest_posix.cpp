// The Linux twin of the security layer on this machine: volumes and
// accounts as findmnt and the name service know them, and DACLs on real
// access lists: lists made with the acl tools read as the expected entries,
// and what is written is exactly what getfacl shows.
#include <gmock/gmock.h>

#include <filesystem>

#include "AclTestSupport.h"
#include "FakeSecurityApi.h"
#include "products/UnixAccounts.h"

namespace slv2::security {

namespace {

using ::testing::ElementsAre;
using namespace test;

// A column ("FSTYPE", "SOURCE") of the mount holding a path, from findmnt.
std::string MountOf(const std::string& path, const std::string& column) {
  std::string out = test::CommandOutput("findmnt -n -o " + column + " -T" + test::Quoted(path));
  return out.substr(0, out.find_last_not_of(" \n") + 1);
}

class PosixAclTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why = test::WhyNoAcls(dir.Path());
    if (!why.empty()) GTEST_SKIP() << why;
    test::WriteFile(file, "x");
    std::filesystem::create_directory(AnsiToUtf8(folder));
  }
  void Chmod(const std::string& path, unsigned mode) {
    std::filesystem::permissions(AnsiToUtf8(path), std::filesystem::perms(mode));
  }
  std::vector<AccessEntry> Read(const std::string& path) {
    Dacl dacl;
    EXPECT_EQ(api.ReadDacl(path, &dacl).error, kErrorSuccess);
    return dacl.entries;
  }

  test::TempDir dir;
  std::string file = dir / "file.txt", folder = dir / "folder";
  SecurityApi& api = PlatformSecurityApi();
  Sid Named(const std::string& name) {
    Sid sid;
    Account account;
    EXPECT_EQ(api.LookupAccountName("", name, &sid, &account), kErrorSuccess) << name;
    return sid;
  }

  Sid everyone = SidOf({}), nobody = Named("nobody"), nogroup = Named("nogroup");
  Sid owner = SidOf({Principal::kUser, geteuid()});
  Sid owningGroup = SidOf({Principal::kGroup, getegid()});
};

TEST_F(PosixAclTest, ListsReadAsWhatTheirAccountsHoldBeyondEveryone) {
  Chmod(file, 0644);
  EXPECT_THAT(Read(file), ElementsAre(Allow(owner, 0x12019F), Allow(everyone, 0x120089)));
  Chmod(file, 0777);
  EXPECT_THAT(Read(file), ElementsAre(Allow(everyone, 0x1F01FF)));
  // Less than Everyone holds is denied.
  Chmod(file, 0407);
  EXPECT_THAT(Read(file), ElementsAre(Allow(owner, 0x120089), Deny(owner, 0x1201B6),
                                      Deny(owningGroup, 0x1F01FF), Allow(everyone, 0x1F01FF)));
  // Named entries count as far as the mask lets them.
  Chmod(file, 0640);
  test::SetFacl("-m u:nobody:rwx,g:nogroup:rw-,m::r--", file);
  EXPECT_THAT(Read(file), ElementsAre(Allow(owner, 0x12019F), Allow(nobody, 0x120089),
                                      Allow(owningGroup, 0x120089), Allow(nogroup, 0x120089)));
  // A folder gives what it hands down, then its own entries, account by
  // account.
  Chmod(folder, 0750);
  test::SetFacl("-d -m u::rwx,g::r-x,o::r-x,u:nobody:rw-", folder);
  EXPECT_THAT(
      Read(folder),
      ElementsAre(Allow(owner, 0x10000000, kFileFlags), Allow(owner, 0x1F01FF, kFolderFlags),
                  Allow(nobody, 0xC0000000, kFileFlags), Deny(nobody, 0x20000000, kFileFlags),
                  Allow(owningGroup, 0x1200A9, kFolderFlags),
                  Allow(everyone, 0xA0000000, kFileFlags)));
}

TEST_F(PosixAclTest, WrittenListsGiveEveryAccountEveryonesRightsOnTop) {
  test::SetFacl("-m g:nogroup:rwx", file);
  ASSERT_EQ(api.WriteDacl(file, {Allow(everyone, 0x120089, 1), Allow(nobody, 0x120116, 1)}).error,
            0u);
  EXPECT_EQ(test::GetFacl(file),
            "user::r--\nuser:nobody:rw-\ngroup::r--\nmask::rw-\nother::r--\n\n");
  ASSERT_EQ(api.WriteDacl(file, {}).error, 0u);
  EXPECT_EQ(test::GetFacl(file), "user::---\ngroup::---\nother::---\n\n");

  std::vector<AccessEntry> entries = {Allow(nobody, 0x10000000, kFileFlags),
                                      Allow(owningGroup, 0x1F01FF, kFolderFlags),
                                      Allow(everyone, 0x1200A9, kFolderFlags)};
  ASSERT_EQ(api.WriteDacl(folder, entries).error, 0u);
  EXPECT_EQ(test::GetFacl(folder),
            "user::r-x\ngroup::rwx\nother::r-x\ndefault:user::---\ndefault:user:nobody:rwx\n"
            "default:group::---\ndefault:mask::rwx\ndefault:other::---\n\n");
  EXPECT_EQ(Read(folder), entries);
  // Nothing to hand down: the default list goes.
  ASSERT_EQ(api.WriteDacl(folder, {Allow(everyone, 0x1F01FF, kFolderFlags)}).error, 0u);
  EXPECT_EQ(test::GetFacl(folder), "user::rwx\ngroup::rwx\nother::rwx\n\n");
}

TEST_F(PosixAclTest, WhatCannotBeWrittenChangesNothing) {
  std::string before = test::GetFacl(file);
  Sid unknown = {1, 1, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0};
  for (const AccessEntry& entry : {Deny(everyone, 0x1F01FF), Allow(unknown, 0x1F01FF)}) {
    DaclResult result = api.WriteDacl(file, {Allow(everyone, 0x1F01FF), entry});
    EXPECT_EQ(result.error, kErrorInvalidParameter);
    EXPECT_EQ(result.step, DaclStep::kAddEntry);
  }
  DaclResult missing = api.WriteDacl(dir / "missing", {});
  EXPECT_EQ(missing.error, kErrorFileNotFound);
  EXPECT_EQ(missing.step, DaclStep::kWriteDacl);
  Dacl none;
  EXPECT_EQ(api.ReadDacl(dir / "missing", &none).step, DaclStep::kReadDescriptor);
  EXPECT_EQ(test::GetFacl(file), before);

  if (::geteuid() != 0) GTEST_SKIP() << "writing as the user nobody needs root";
  test::SetFacl("-d -m u::rwx,g::r-x,o::---", folder);
  Chmod(dir.Path(), 0711);
  std::string folderBefore = test::GetFacl(folder);
  EXPECT_TRUE(test::AsNobody([&] {
    DaclResult onFile = api.WriteDacl(file, {Allow(everyone, 0x1F01FF, 1)});
    DaclResult onFolder = api.WriteDacl(folder, {Allow(everyone, 0x1F01FF, kFolderFlags)});
    return onFile.error == kErrorAccessDenied && onFolder.error == kErrorAccessDenied &&
           onFolder.step == DaclStep::kWriteDacl;
  }));
  EXPECT_EQ(test::GetFacl(file), before);
  EXPECT_EQ(test::GetFacl(folder), folderBefore);
}

TEST(SecurityApiTest, VolumesAreKnownByAnyPathOnThemEvenOneStillToBeMade) {
  test::TempDir dir;
  SecurityApi& api = PlatformSecurityApi();
  VolumeInfo info;
  ASSERT_EQ(api.GetVolumeInfo(dir / "not/made/yet.txt", &info), kErrorSuccess);
  EXPECT_EQ(info.fileSystemName, MountOf(dir.Path(), "FSTYPE"));
  EXPECT_EQ(info.volumeName, MountOf(dir.Path(), "SOURCE"));
  EXPECT_EQ((info.fileSystemFlags & kFsPersistentAcls) != 0, test::WhyNoAcls(dir.Path()).empty());
  // The serial number tells volumes apart.
  VolumeInfo same, proc;
  ASSERT_EQ(api.GetVolumeInfo(dir.Path(), &same), kErrorSuccess);
  ASSERT_EQ(api.GetVolumeInfo("/proc/version", &proc), kErrorSuccess);
  EXPECT_EQ(same.serialNumber, info.serialNumber);
  EXPECT_NE(proc.serialNumber, info.serialNumber);

  EXPECT_EQ(proc.fileSystemFlags & kFsPersistentAcls, 0u);
  EXPECT_EQ(api.DriveType("/proc/version"), kDriveFixed);
  if (MountOf("/dev/shm", "FSTYPE") == "tmpfs") {
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
