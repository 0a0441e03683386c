// The Linux twin's DACLs on real access lists: what the acl tools make reads
// as the expected entries, and what is written is exactly what getfacl shows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "AclTestSupport.h"
#include "TestSupport.h"
#include "products/PosixAcl.h"
#include "products/SecurityApi.h"
#include "products/UnixAccounts.h"
#include "sys/Cp1251.h"
#include "sys/WinError.h"

namespace slv2::security {
namespace {

using ::testing::ElementsAre;
namespace stdfs = std::filesystem;

constexpr uint8_t kFileFlags = kObjectInheritAce | kInheritOnlyAce;
constexpr uint8_t kFolderFlags = kContainerInheritAce;

}  // namespace

void PrintTo(const AccessEntry& entry, std::ostream* os) {
  Principal who;
  bool known = PrincipalOf(entry.sid, &who);
  *os << (entry.type == kAccessAllowedAceType ? "allow " : "deny ")
      << (!known                             ? "?"
          : who.kind == Principal::kEveryone ? "Everyone"
          : who.kind == Principal::kUser     ? "user "
                                             : "group ")
      << (known && who.kind != Principal::kEveryone ? std::to_string(who.id) : "") << " mask 0x"
      << std::hex << entry.mask << " flags 0x" << unsigned{entry.flags} << std::dec;
}

namespace {

class PosixAclTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why = test::WhyNoAcls(dir.Path());
    if (!why.empty()) GTEST_SKIP() << why;
    test::WriteFile(file, "x");
    stdfs::create_directory(AnsiToUtf8(folder));
  }

  void Chmod(const std::string& path, stdfs::perms perms) {
    stdfs::permissions(AnsiToUtf8(path), perms);
  }

  Sid SidNamed(const std::string& name) {
    Sid sid;
    Account account;
    EXPECT_EQ(api.LookupAccountName("", name, &sid, &account), kErrorSuccess) << name;
    return sid;
  }
  std::vector<AccessEntry> Read(const std::string& path) {
    Dacl dacl;
    DaclResult result = api.ReadDacl(path, &dacl);
    EXPECT_EQ(result.error, kErrorSuccess);
    EXPECT_TRUE(dacl.present);
    return dacl.entries;
  }
  static AccessEntry Allow(const Sid& sid, uint32_t mask, uint8_t flags = 0) {
    return {kAccessAllowedAceType, flags, mask, sid};
  }
  static AccessEntry Deny(const Sid& sid, uint32_t mask, uint8_t flags = 0) {
    return {kAccessDeniedAceType, flags, mask, sid};
  }

  test::TempDir dir;
  std::string file = dir / "file.txt";
  std::string folder = dir / "folder";
  SecurityApi& api = PlatformSecurityApi();
  Sid everyone = SidNamed("Everyone");
  Sid nobody = SidNamed("nobody");
  Sid nogroup = SidNamed("nogroup");
  // By identifier: the owner and its group may share their name.
  Sid owner = SidOf({Principal::kUser, geteuid()});
  Sid owningGroup = SidOf({Principal::kGroup, getegid()});
};

// Reading.

TEST_F(PosixAclTest, AFileListsWhatItsAccountsHoldBeyondEveryone) {
  Chmod(file, stdfs::perms(0644));
  EXPECT_THAT(Read(file), ElementsAre(Allow(owner, 0x12019F), Allow(everyone, 0x120089)));
  Chmod(file, stdfs::perms(0777));
  EXPECT_THAT(Read(file), ElementsAre(Allow(everyone, 0x1F01FF)));
  Chmod(file, stdfs::perms(0));
  EXPECT_THAT(Read(file), ElementsAre());
}

TEST_F(PosixAclTest, NamedEntriesCountWithTheMaskApplied) {
  Chmod(file, stdfs::perms(0640));
  test::SetFacl("-m u:nobody:rwx,g:nogroup:rw-,m::r--", file);
  EXPECT_THAT(Read(file), ElementsAre(Allow(owner, 0x12019F), Allow(nobody, 0x120089),
                                      Allow(owningGroup, 0x120089), Allow(nogroup, 0x120089)));
}

TEST_F(PosixAclTest, LessThanEveryoneHoldsIsDenied) {
  Chmod(file, stdfs::perms(0407));
  EXPECT_THAT(Read(file), ElementsAre(Allow(owner, 0x120089), Deny(owner, 0x1201B6),
                                      Deny(owningGroup, 0x1F01FF), Allow(everyone, 0x1F01FF)));
}

TEST_F(PosixAclTest, AFolderGivesItsOwnAndItsInheritedEntriesAccountByAccount) {
  Chmod(folder, stdfs::perms(0750));
  test::SetFacl("-d -m u::rwx,g::r-x,o::r-x,u:nobody:rw-", folder);
  EXPECT_THAT(
      Read(folder),
      ElementsAre(Allow(owner, 0x10000000, kFileFlags), Allow(owner, 0x1F01FF, kFolderFlags),
                  Allow(nobody, 0xC0000000, kFileFlags), Deny(nobody, 0x20000000, kFileFlags),
                  Allow(owningGroup, 0x1200A9, kFolderFlags),
                  Allow(everyone, 0xA0000000, kFileFlags)));
}

TEST_F(PosixAclTest, AMissingPathCannotBeRead) {
  Dacl dacl;
  DaclResult result = api.ReadDacl(dir / "missing", &dacl);
  EXPECT_EQ(result.error, kErrorFileNotFound);
  EXPECT_EQ(result.step, DaclStep::kReadDescriptor);
  EXPECT_FALSE(dacl.present);
}

// Writing.

TEST_F(PosixAclTest, EveryAccountGetsEveryonesRightsOnTopAndTheMaskFollows) {
  test::SetFacl("-m g:nogroup:rwx", file);
  DaclResult result =
      api.WriteDacl(file, {Allow(everyone, 0x120089, 0x1), Allow(nobody, 0x120116, 0x1)});
  EXPECT_EQ(result.error, kErrorSuccess);
  EXPECT_EQ(test::GetFacl(file),
            "user::r--\nuser:nobody:rw-\ngroup::r--\nmask::rw-\nother::r--\n\n");
}

TEST_F(PosixAclTest, AFolderDaclReadsBackAsWritten) {
  std::vector<AccessEntry> entries = {Allow(nobody, 0x10000000, kFileFlags),
                                      Allow(owningGroup, 0x1F01FF, kFolderFlags),
                                      Allow(everyone, 0x1200A9, kFolderFlags)};
  ASSERT_EQ(api.WriteDacl(folder, entries).error, kErrorSuccess);
  EXPECT_EQ(test::GetFacl(folder),
            "user::r-x\ngroup::rwx\nother::r-x\n"
            "default:user::---\ndefault:user:nobody:rwx\ndefault:group::---\n"
            "default:mask::rwx\ndefault:other::---\n\n");
  EXPECT_EQ(Read(folder), entries);

  // Nothing to hand down: the default list goes.
  ASSERT_EQ(api.WriteDacl(folder, {Allow(everyone, 0x1F01FF, kFolderFlags)}).error, 0u);
  EXPECT_EQ(test::GetFacl(folder), "user::rwx\ngroup::rwx\nother::rwx\n\n");
}

TEST_F(PosixAclTest, AnEmptyDaclClosesTheObject) {
  ASSERT_EQ(api.WriteDacl(file, {}).error, kErrorSuccess);
  EXPECT_EQ(test::GetFacl(file), "user::---\ngroup::---\nother::---\n\n");
}

TEST_F(PosixAclTest, EntriesItCannotWriteChangeNothing) {
  Chmod(file, stdfs::perms(0640));
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
  EXPECT_EQ(test::GetFacl(file), before);
}

TEST_F(PosixAclTest, AnotherUsersWriteIsRefusedAndChangesNothing) {
  if (!test::RunsAsRoot()) GTEST_SKIP() << "switching to the user nobody needs root";
  test::SetFacl("-d -m u::rwx,g::r-x,o::---", folder);
  Chmod(dir.Path(), stdfs::perms(0711));
  std::string fileBefore = test::GetFacl(file), folderBefore = test::GetFacl(folder);
  EXPECT_TRUE(test::AsNobody([&] {
    DaclResult onFile = api.WriteDacl(file, {Allow(everyone, 0x1F01FF, 0x1)});
    DaclResult onFolder = api.WriteDacl(folder, {Allow(everyone, 0x1F01FF, kFolderFlags)});
    return onFile.error == kErrorAccessDenied && onFile.step == DaclStep::kWriteDacl &&
           onFolder.error == kErrorAccessDenied && onFolder.step == DaclStep::kWriteDacl;
  }));
  EXPECT_EQ(test::GetFacl(file), fileBefore);
  EXPECT_EQ(test::GetFacl(folder), folderBefore);
}

}  // namespace
}  // namespace slv2::security
