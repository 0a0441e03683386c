// File rights and their access masks, and the security component over a
// scripted security layer: how DACL entries become items and items entries,
// the volume and account look-ups, and every failure reported where it
// happened.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FakeSecurityApi.h"
#include "TestSupport.h"
#include "products/FileSecurity.h"
#include "products/SecurityUtil.h"
#include "sys/Format.h"

namespace slv2 {
namespace {

using security::DaclStep;
using test::Allow;
using test::Deny;
using test::kFileFlags;
using test::kFolderFlags;
using ::testing::ElementsAre;

// Masks give the rights whose bits are all there; rights give masks with
// read and write combined.
TEST(FileRightsTest, MasksAndRights) {
  EXPECT_EQ(AccessMaskToRights(0x1F01FF), TFileRights{frFullControl});
  EXPECT_EQ(AccessMaskToRights(0x120089 | 0x1200A0), (TFileRights{frRead, frExecute}));
  EXPECT_EQ(AccessMaskToRights(0x120088), TFileRights{});  // FILE_READ_DATA missing
  EXPECT_EQ(AccessMaskToRights(0x1F01FF | 0x10000000).Byte(), 0x3F);
  EXPECT_EQ(GenericMaskToRights(0x10000000), TFileRights{frFullControl});
  EXPECT_EQ(GenericMaskToRights(0x10000000 | 0x80000000), TFileRights{frRead});
  EXPECT_EQ(RightsToAccessMask({frFullControl}), 0x1F01FFu);
  EXPECT_EQ(RightsToAccessMask({frRead, frWrite}), 0x12019Fu);
  EXPECT_EQ(RightsToAccessMask({frWrite}), 0x120116u);
  EXPECT_EQ(RightsToAccessMask({frFullControl, frRead}), 0x120089u);
  EXPECT_EQ(RightsToGenericMask({frFullControl}), 0x10000000u);
  EXPECT_EQ(RightsToGenericMask({frRead, frWrite}), 0xC0000000u);
  EXPECT_EQ(RightsToGenericMask({frFullControl, frExecute}), 0x20000000u);
  EXPECT_EQ(RightsToGenericMask({frRead, frTakeOwnership}), 0x80080000u);
}

TEST(FileRightsTest, EverySetWithoutFullControlSurvivesBothMasks) {
  for (unsigned bits = 0; bits < 0x40; ++bits) {
    TFileRights rights = TFileRights::FromByte(static_cast<uint8_t>(bits));
    EXPECT_EQ(AccessMaskToRights(RightsToAccessMask(rights)), rights) << bits;
    EXPECT_EQ(GenericMaskToRights(RightsToGenericMask(rights)), rights) << bits;
  }
}

class FileSecurityTest : public ::testing::Test {
 protected:
  FileSecurityTest() {
    test::WriteFile(file, "x");
    test::WriteFile(dir / "folder/inside.txt", "x");
    security.OnGetSecurity = [this](TFileSecurity& sender, uint32_t error, uint32_t location) {
      EXPECT_EQ(&sender, &security);
      reports.push_back(Format("get %X@%u", error, location));
    };
    security.OnSetSecurity = [this](TFileSecurity&, uint32_t error, uint32_t location) {
      reports.push_back(Format("set %X@%u", error, location));
    };
  }

  // Takes `path` with the scripted DACL; its reports are what is left.
  void Open(const std::string& path, std::vector<security::AccessEntry> entries) {
    api.dacl.entries = std::move(entries);
    security.SetFileName(path);
  }
  // "name domain use fileRights folderRights" of every item.
  std::vector<std::string> Items() {
    std::vector<std::string> items;
    for (int i = 0; i < security.Count(); ++i) {
      const TSecurityListItem& item = security.Item(i);
      items.push_back(Format("%s %s %u %02X %02X", item.AccountName.c_str(),
                             item.DomainName.c_str(), item.SidUse, item.FileRights.Byte(),
                             item.FolderRights.Byte()));
    }
    return items;
  }

  test::TempDir dir;
  std::string file = dir / "file.txt", folder = dir / "folder";
  test::FakeSecurityApi api;
  security::Sid admins = api.Account("Administrators", 4, "BUILTIN");
  security::Sid system = api.Account("SYSTEM", 5, "nt authority");
  security::Sid everyone = api.Account("Everyone", 5);
  security::Sid alice = api.Account("alice", 1, "CORP");
  security::Sid aliceGroup = api.Account("alice", 2, "CORP");
  TFileSecurity security{api};
  std::vector<std::string> reports;
};

TEST_F(FileSecurityTest, ConsecutiveEntriesOfOneAccountMakeOneItem) {
  Open(file, {Allow(admins, 0x1F01FF), Allow(system, 0x120089), Deny(admins, 0x120116)});
  EXPECT_THAT(reports, ElementsAre("get 0@0"));
  EXPECT_THAT(Items(),
              ElementsAre("Administrators WORKSTATION 4 40 00", "SYSTEM WORKSTATION 5 01 00",
                          "Administrators WORKSTATION 4 00 00"));

  // Denials only open or continue an item; a later grant replaces an earlier
  // one; a user and a group of one name are two accounts.
  api.dacl.entries = {Deny(everyone, 0x1F01FF), Allow(admins, 0x120089),
                      Deny(admins, 0x1F01FF),   Allow(admins, 0x120116),
                      Allow(alice, 0x1200A9),   Allow(aliceGroup, 0x120089)};
  security.ReadSecurity();
  EXPECT_THAT(Items(),
              ElementsAre("Everyone WORKSTATION 5 00 00", "Administrators WORKSTATION 4 02 00",
                          "alice CORP 1 05 00", "alice CORP 2 01 00"));
}

TEST_F(FileSecurityTest, FolderEntriesSplitByContainerInheritance) {
  Open(folder, {Allow(everyone, 0x10000000, kFileFlags), Allow(everyone, 0x1F01FF, kFolderFlags),
                Allow(system, 0xA0000000, 0x1), Allow(admins, 0x1200A9, 0x3)});
  EXPECT_TRUE(security.IsFolder());
  EXPECT_THAT(Items(), ElementsAre("Everyone WORKSTATION 5 40 40", "SYSTEM WORKSTATION 5 05 00",
                                   "Administrators WORKSTATION 4 00 05"));
}

TEST_F(FileSecurityTest, AFailedVolumeStepDropsTheObjectAndItsEntries) {
  const std::pair<std::function<void()>, const char*> cases[] = {
      {[&] { api.driveType = security::kDriveUnknown; }, "get D@0"},
      {[&] { api.driveType = security::kDriveNoRootDir; }, "get E@0"},
      {[&] { api.volumeError = 21; }, "get 15@0"},
      {[&] { api.volume.fileSystemFlags = 0; }, "get FFFFFFFE@0"},
  };
  for (const auto& [setUp, expected] : cases) {
    api.driveType = security::kDriveFixed;
    api.volumeError = 0;
    api.volume.fileSystemFlags = security::kFsPersistentAcls;
    Open(folder, {Allow(everyone, 0x1F01FF)});
    ASSERT_EQ(security.Count(), 1);
    reports.clear();
    setUp();
    security.SetFileName(file);
    EXPECT_THAT(reports, ElementsAre(expected));
    EXPECT_EQ(security.FileName(), "");
    EXPECT_EQ(security.Count(), 0);
    EXPECT_EQ(api.readPaths.back(), folder);
  }
  security.SetFileName("/" + std::string(255, 'a'));
  EXPECT_EQ(reports.back(), "get CE@0");  // longer than 255 characters
}

TEST_F(FileSecurityTest, TheDriveGivesTheVolumeRootAndWhereAccountsLive) {
  Open(file, {});
  security.SetFileName(file);  // the same object again: nothing happens
  // A path in POSIX form is its own volume root; a Windows path has a drive.
  const std::string root = file[0] == '/' ? file : file.substr(0, 3);
  EXPECT_TRUE(security.IsFile());
  EXPECT_EQ(security.FileSystemName(), "NTFS");

  security.SetFileName("C:");
  EXPECT_EQ(security.FileName(), "C:\\");
  api.driveType = security::kDriveRemote;
  api.connection = "\\\\srv\\share";
  Open("\\\\unc\\share\\f.txt", {Allow(everyone, 0x1F01FF)});
  EXPECT_TRUE(security.IsNetwork());
  EXPECT_EQ(security.SystemName(), "WORKSTATION");
  Open("X:\\data\\f.txt", {Allow(everyone, 0x1F01FF)});
  EXPECT_EQ(security.SystemName(), "srv");
  EXPECT_THAT(api.volumeRoots, ElementsAre(root, "C:\\", "\\\\unc\\share\\", "\\\\srv\\share\\"));
  EXPECT_THAT(api.lookupSystems, ElementsAre("WORKSTATION", "srv"));
  EXPECT_THAT(Items(), ElementsAre("Everyone srv 5 00 00"));
}

TEST_F(FileSecurityTest, AccountsAreAddedAndIndexesChecked) {
  EXPECT_EQ(security.AddAccount("", "alice"), 0);
  EXPECT_EQ(security.AddAccount("", "Administrators"), 1);
  EXPECT_EQ(security.AddAccount("SRV", "Everyone"), 2);
  EXPECT_THROW(security.AddAccount("", "Jedermann"), EFileSecurityError);
  EXPECT_THROW(security.DeleteEntry(3), EFileSecurityError);
  EXPECT_THROW(security.GrantFullControl(-1), EFileSecurityError);
  security.DeleteEntry(1);
  EXPECT_THAT(Items(), ElementsAre("alice CORP 1 00 00", "Everyone SRV 5 00 00"));
}

TEST_F(FileSecurityTest, WritingGivesEntriesInItemOrderWithTheirFlags) {
  Open(file, {});
  security.GrantFullControl(security.AddAccount("", "Everyone"));
  TSecurityListItem& other = security.Item(security.AddAccount("", "alice"));
  other.FileRights = {frRead, frWrite};
  other.FolderRights = {frFullControl};  // a file has no folder rights
  security.AddAccount("", "SYSTEM");     // no rights, no entry
  security.WriteSecurity();
  EXPECT_THAT(api.written,
              ElementsAre(Allow(everyone, 0x1F01FF, 0x1), Allow(alice, 0x12019F, 0x1)));
  EXPECT_THAT(api.writtenPaths, ElementsAre(file));

  Open(folder, {});
  security.GrantFullControl(security.AddAccount("", "Everyone"));
  security.Item(security.AddAccount("", "alice")).FolderRights = {frRead, frWrite};
  security.Item(security.AddAccount("", "SYSTEM")).FileRights = {frWrite};
  security.WriteSecurity();
  EXPECT_THAT(
      api.written,
      ElementsAre(Allow(everyone, 0x10000000, kFileFlags), Allow(everyone, 0x1F01FF, kFolderFlags),
                  Allow(alice, 0x12019F, kFolderFlags), Allow(system, 0x40000000, kFileFlags)));
  std::vector<std::string> before = Items();
  api.dacl.entries = api.written;
  security.ReadSecurity();
  EXPECT_EQ(Items(), before);
  EXPECT_EQ(std::count(reports.begin(), reports.end(), "set 0@0"), 2);
}

TEST_F(FileSecurityTest, WriteFailuresAreReportedAndLostAccountsRaise) {
  api.writeResult = {kErrorNotEnoughMemory, DaclStep::kCreateDacl};
  Open(file, {Allow(everyone, 0x1F01FF)});
  security.WriteSecurity();
  // A path that names nothing: no rights to grant, an empty DACL, and the
  // write fails at its last step.
  api.writeResult = {kErrorFileNotFound, DaclStep::kWriteDacl};
  api.readResult = {kErrorFileNotFound, DaclStep::kReadDescriptor};
  security.SetFileName(dir / "missing.txt");
  EXPECT_EQ(security.GrantFullControl(security.AddAccount("", "Everyone")).FileRights.Byte(), 0);
  security.WriteSecurity();
  EXPECT_TRUE(api.written.empty());
  // A volume without access lists leaves no object to write to.
  api.volume.fileSystemFlags = 0;
  security.SetFileName(file);
  security.GrantFullControl(security.AddAccount("", "Everyone"));
  security.WriteSecurity();
  EXPECT_THAT(reports, ElementsAre("get 0@0", "set 8@6", "get 2@1", "set 2@12", "get FFFFFFFE@0",
                                   "set 2@12"));
  EXPECT_EQ(api.writtenPaths.size(), 2u);

  api.accounts.clear();
  EXPECT_THROW(security.WriteSecurity(), EFileSecurityError);
  EXPECT_EQ(api.writtenPaths.size(), 2u);
}

// Opening a file to all users: only on NT systems with the library loaded
// and an Everyone to grant; a failed write gives its error, an Everyone that
// cannot be looked up raises.
TEST_F(FileSecurityTest, AllowFileForEveryoneWritesEveryonesFullControlAlone) {
  api.platformId = 1;
  EXPECT_FALSE(AllowFileForEveryone(file, api));
  api.platformId = security::kVerPlatformWin32Nt;
  api.loads = false;
  EXPECT_FALSE(AllowFileForEveryone(file, api));
  EXPECT_TRUE(api.volumeRoots.empty());
  api.loads = true;
  api.dacl.entries = {Allow(alice, 0x1F01FF)};
  EXPECT_TRUE(AllowFileForEveryone(file, api));
  EXPECT_THAT(api.written, ElementsAre(Allow(everyone, 0x1F01FF, 0x1)));
  api.writeResult = {kErrorAccessDenied, DaclStep::kWriteDacl};
  EXPECT_EQ(SetEveryoneFullControl(file, api), kErrorAccessDenied);
  EXPECT_FALSE(AllowFileForEveryone(file, api));
  api.accounts.clear();
  EXPECT_FALSE(AllowFileForEveryone(file, api));
  EXPECT_THROW(SetEveryoneFullControl(file, api), EFileSecurityError);
  EXPECT_EQ(api.writtenPaths.size(), 3u);
}

}  // namespace
}  // namespace slv2
