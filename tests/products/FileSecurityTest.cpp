#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "FakeSecurityApi.h"
#include "TestSupport.h"
#include "products/FileSecurity.h"

namespace slv2 {
namespace {

using security::AccessEntry;
using security::DaclStep;
using ::testing::ElementsAre;

constexpr uint32_t kErrorNotReady = 21;

constexpr uint8_t kFileFlags = security::kObjectInheritAce | security::kInheritOnlyAce;
constexpr uint8_t kFolderFlags = security::kContainerInheritAce;

struct Report {
  uint32_t error;
  uint32_t location;
  bool operator==(const Report&) const = default;
};

void PrintTo(const Report& r, std::ostream* os) {
  *os << "(" << r.error << ", " << r.location << ")";
}

class FileSecurityTest : public ::testing::Test {
 protected:
  FileSecurityTest() {
    test::WriteFile(file, "x");
    test::WriteFile(dir / "folder/inside.txt", "x");
    security.OnGetSecurity = [this](TFileSecurity& sender, uint32_t error, uint32_t location) {
      EXPECT_EQ(&sender, &security);
      gets.push_back({error, location});
    };
    security.OnSetSecurity = [this](TFileSecurity&, uint32_t error, uint32_t location) {
      sets.push_back({error, location});
    };
  }

  // Reads the scripted DACL as that of `path`.
  void Open(const std::string& path, std::vector<AccessEntry> entries) {
    api.dacl.entries = std::move(entries);
    security.SetFileName(path);
  }

  test::TempDir dir;
  std::string file = dir / "file.txt";
  std::string folder = dir / "folder";
  test::FakeSecurityApi api;
  security::Sid admins = api.Account("Administrators", 4, "BUILTIN");
  security::Sid system = api.Account("SYSTEM", 5, "NT AUTHORITY");
  security::Sid everyone = api.Account("Everyone", 5);
  security::Sid alice = api.Account("alice", 1, "CORP");
  security::Sid aliceGroup = api.Account("alice", 2, "CORP");
  TFileSecurity security{api};
  std::vector<Report> gets, sets;
};

TSecurityListItem Item(std::string name, std::string domain, uint8_t use, TFileRights fileRights,
                       TFileRights folderRights = {}) {
  return {std::move(name), std::move(domain), use, fileRights, folderRights};
}

std::vector<TSecurityListItem> Items(const TFileSecurity& security) {
  std::vector<TSecurityListItem> items;
  for (int i = 0; i < security.Count(); ++i)
    items.push_back(security.Item(i));
  return items;
}

// Reading a DACL into items.

TEST_F(FileSecurityTest, ConsecutiveEntriesOfOneAccountMakeOneItem) {
  Open(file,
       {api.Allow(admins, 0x1F01FF), api.Deny(admins, 0x120116), api.Allow(system, 0x120089)});
  EXPECT_THAT(gets, ElementsAre(Report{0, 0}));
  EXPECT_THAT(Items(security),
              ElementsAre(Item("Administrators", "WORKSTATION", 4, {frFullControl}),
                          Item("SYSTEM", "WORKSTATION", 5, {frRead})));

  api.dacl.entries = {api.Allow(admins, 0x1F01FF), api.Allow(system, 0x120089),
                      api.Deny(admins, 0x120116)};
  security.ReadSecurity();
  EXPECT_THAT(Items(security),
              ElementsAre(Item("Administrators", "WORKSTATION", 4, {frFullControl}),
                          Item("SYSTEM", "WORKSTATION", 5, {frRead}),
                          Item("Administrators", "WORKSTATION", 4, {})));
}

TEST_F(FileSecurityTest, DenyingEntriesOnlyOpenOrContinueAnItem) {
  Open(file, {api.Deny(alice, 0x1F01FF), api.Allow(everyone, 0x1200A9), api.Allow(admins, 0x120089),
              api.Deny(admins, 0x1F01FF), api.Allow(admins, 0x120116)});
  // The later grant of an account replaces the earlier one.
  EXPECT_THAT(Items(security), ElementsAre(Item("alice", "CORP", 1, {}),
                                           Item("Everyone", "WORKSTATION", 5, {frRead, frExecute}),
                                           Item("Administrators", "WORKSTATION", 4, {frWrite})));
}

TEST_F(FileSecurityTest, AUserAndAGroupOfOneNameStaySeparate) {
  Open(file, {api.Allow(alice, 0x12019F), api.Allow(aliceGroup, 0x120089)});
  EXPECT_THAT(Items(security), ElementsAre(Item("alice", "CORP", 1, {frRead, frWrite}),
                                           Item("alice", "CORP", 2, {frRead})));
}

TEST_F(FileSecurityTest, FolderEntriesSplitByContainerInheritance) {
  Open(folder, {api.Allow(everyone, 0x10000000, kFileFlags),
                api.Allow(everyone, 0x1F01FF, kFolderFlags), api.Allow(system, 0xA0000000, 0x1),
                api.Allow(admins, 0x1200A9, kFolderFlags | security::kObjectInheritAce)});
  EXPECT_TRUE(security.IsFolder());
  EXPECT_FALSE(security.IsFile());
  EXPECT_THAT(Items(security),
              ElementsAre(Item("Everyone", "WORKSTATION", 5, {frFullControl}, {frFullControl}),
                          Item("SYSTEM", "WORKSTATION", 5, {frRead, frExecute}),
                          Item("Administrators", "WORKSTATION", 4, {}, {frRead, frExecute})));
}

TEST_F(FileSecurityTest, UnknownSidUsesAreStoredAsZero) {
  security::Sid odd = api.Account("odd", 9, "nt authority");
  Open(file, {api.Allow(odd, 0x120089)});
  EXPECT_THAT(Items(security), ElementsAre(Item("odd", "WORKSTATION", 0, {frRead})));
}

TEST_F(FileSecurityTest, ReadFailuresAreReportedOnceWithTheirLocation) {
  api.readResult = {kErrorAccessDenied, DaclStep::kReadDescriptor};
  Open(file, {api.Allow(everyone, 0x1F01FF)});
  EXPECT_THAT(gets, ElementsAre(Report{kErrorAccessDenied, 1}));
  EXPECT_EQ(security.Count(), 0);
  EXPECT_EQ(security.FileName(), file);

  gets.clear();
  api.readResult = {};
  api.dacl.present = false;
  security.ReadSecurity();
  api.dacl.present = true;
  api.dacl.entries.clear();
  security.ReadSecurity();
  EXPECT_THAT(gets, ElementsAre(Report{0xFFFFFFFF, 3}, Report{0xFFFFFFFF, 3}));
  EXPECT_EQ(security.Count(), 0);
}

TEST_F(FileSecurityTest, AFailedEntryKeepsTheItemsBeforeButNotTheOneUnderWay) {
  api.readResult = {kErrorInvalidParameter, DaclStep::kTakeEntry};
  Open(file, {api.Allow(admins, 0x1F01FF), api.Allow(system, 0x1F01FF)});
  EXPECT_THAT(gets, ElementsAre(Report{kErrorInvalidParameter, 4}));
  EXPECT_THAT(Items(security),
              ElementsAre(Item("Administrators", "WORKSTATION", 4, {frFullControl})));

  gets.clear();
  api.readResult = {};
  api.dacl.entries = {api.Allow(admins, 0x1F01FF), api.Allow(system, 0x1F01FF),
                      api.Allow({9, 9}, 0x1F01FF)};
  security.ReadSecurity();
  EXPECT_THAT(gets, ElementsAre(Report{kErrorNoneMapped, 5}));
  EXPECT_THAT(Items(security),
              ElementsAre(Item("Administrators", "WORKSTATION", 4, {frFullControl})));
}

TEST_F(FileSecurityTest, ReadingWithoutAFileNameReportsFileNotFound) {
  security.ReadSecurity();
  EXPECT_THAT(gets, ElementsAre(Report{kErrorFileNotFound, 0}));
  EXPECT_TRUE(api.readPaths.empty());
}

// Taking an object: drives and volumes.

TEST_F(FileSecurityTest, AFailedVolumeStepDropsTheObjectAndItsEntries) {
  const std::pair<std::function<void()>, Report> cases[] = {
      {[&] { api.driveType = security::kDriveUnknown; }, {13, 0}},
      {[&] { api.driveType = security::kDriveNoRootDir; }, {14, 0}},
      {[&] { api.volumeError = kErrorNotReady; }, {kErrorNotReady, 0}},
      {[&] { api.volume.fileSystemFlags = 0; }, {0xFFFFFFFE, 0}},
  };
  for (const auto& [setUp, expected] : cases) {
    api.driveType = security::kDriveFixed;
    api.volumeError = 0;
    api.volume.fileSystemFlags = security::kFsPersistentAcls;
    api.readPaths.clear();
    Open(folder, {api.Allow(everyone, 0x1F01FF)});
    ASSERT_EQ(security.Count(), 1);
    gets.clear();
    setUp();
    security.SetFileName(file);
    EXPECT_THAT(gets, ElementsAre(expected));
    EXPECT_EQ(security.FileName(), "");
    EXPECT_EQ(security.Count(), 0);
    EXPECT_THAT(api.readPaths, ElementsAre(folder));
  }
}

TEST_F(FileSecurityTest, APosixPathNamesItsOwnVolume) {
  Open(file, {api.Allow(everyone, 0x1F01FF)});
  EXPECT_THAT(api.driveRoots, ElementsAre(file));
  EXPECT_THAT(api.volumeRoots, ElementsAre(file));
  EXPECT_TRUE(security.IsFile());
  EXPECT_FALSE(security.IsFolder());
  EXPECT_FALSE(security.IsNetwork());
  EXPECT_EQ(security.SystemName(), "WORKSTATION");
  EXPECT_EQ(security.VolumeName(), "DATA");
  EXPECT_EQ(security.FileSystemName(), "NTFS");
  EXPECT_EQ(security.VolumeSerialNumber(), 0x1234ABCDu);

  security.SetFileName(file);  // the same object: nothing is read again
  EXPECT_EQ(api.readPaths.size(), 1u);
}

TEST_F(FileSecurityTest, APathThatIsOnlyADriveMeansItsRoot) {
  security.SetFileName("C:");
  EXPECT_EQ(security.FileName(), "C:\\");
  EXPECT_THAT(api.driveRoots, ElementsAre("C:\\"));
  EXPECT_THAT(api.readPaths, ElementsAre("C:\\"));
  security.SetFileName("\\\\srv\\share");
  EXPECT_EQ(security.FileName(), "\\\\srv\\share\\");
  EXPECT_EQ(api.driveRoots.back(), "\\\\srv\\share\\");
}

TEST_F(FileSecurityTest, AMappedDriveResolvesAccountsOnItsServer) {
  api.driveType = security::kDriveRemote;
  api.connection = "\\\\srv\\share";
  api.remaining = "\\";
  Open("X:\\data\\f.txt", {api.Allow(everyone, 0x1F01FF)});
  EXPECT_TRUE(security.IsNetwork());
  EXPECT_EQ(security.SystemName(), "srv");
  EXPECT_EQ(security.ComputerName(), "WORKSTATION");
  EXPECT_THAT(api.universalRoots, ElementsAre("X:\\"));
  EXPECT_THAT(api.volumeRoots, ElementsAre("\\\\srv\\share\\"));
  EXPECT_THAT(api.lookupSystems, ElementsAre("srv"));
  EXPECT_EQ(security.Item(0).DomainName, "srv");
}

TEST_F(FileSecurityTest, AUncPathIsOnTheNetworkButResolvesAccountsHere) {
  api.driveType = security::kDriveRemote;
  api.connection = "\\\\elsewhere\\x";
  Open("\\\\srv\\share\\dir\\f.txt", {api.Allow(everyone, 0x1F01FF)});
  EXPECT_TRUE(security.IsNetwork());
  EXPECT_EQ(security.SystemName(), "WORKSTATION");
  EXPECT_TRUE(api.universalRoots.empty());
  EXPECT_THAT(api.driveRoots, ElementsAre("\\\\srv\\share\\"));
  EXPECT_THAT(api.lookupSystems, ElementsAre("WORKSTATION"));
}

TEST_F(FileSecurityTest, PathsLongerThan255CharactersAreRefused) {
  std::string longest = "/" + std::string(254, 'a');
  security.SetFileName(longest);
  EXPECT_EQ(security.FileName(), longest);
  gets.clear();
  security.SetFileName(longest + "a");
  EXPECT_THAT(gets, ElementsAre(Report{kErrorFilenameExcedRange, 0}));
  EXPECT_EQ(security.FileName(), "");
  EXPECT_THAT(api.readPaths, ElementsAre(longest));
}

// Accounts and indexes.

TEST_F(FileSecurityTest, AddedAccountsTakeTheirDomainOrTheMachine) {
  EXPECT_EQ(security.AddAccount("", "alice"), 0);
  EXPECT_EQ(security.AddAccount("", "Administrators"), 1);
  EXPECT_EQ(security.AddAccount("SRV", "Everyone"), 2);
  EXPECT_THAT(Items(security), ElementsAre(Item("alice", "CORP", 1, {}),
                                           Item("Administrators", "WORKSTATION", 4, {}),
                                           Item("Everyone", "SRV", 5, {})));
  EXPECT_THAT(api.lookupSystems, ElementsAre("", "", "SRV"));
  try {
    security.AddAccount("", "Jedermann");
    FAIL() << "an unknown account was added";
  } catch (const EFileSecurityError& e) {
    EXPECT_EQ(e.Message(), "No mapping between account names and security IDs was done");
  }
  EXPECT_EQ(security.Count(), 3);
}

TEST_F(FileSecurityTest, IndexesOutsideTheEntriesAreRefused) {
  for (const char* name : {"alice", "Administrators", "SYSTEM", "Everyone", "alice"}) {
    security.AddAccount("", name);
  }
  auto messageOf = [](const std::function<void()>& call) -> std::string {
    try {
      call();
    } catch (const EFileSecurityError& e) {
      return e.Message();
    }
    return "no error";
  };
  EXPECT_EQ(messageOf([&] { security.DeleteEntry(5); }), "Index [5] is out of bounds.");
  EXPECT_EQ(messageOf([&] { security.GrantFullControl(-1); }), "Index [-1] is out of bounds.");
  EXPECT_EQ(messageOf([&] { security.Item(7); }), "Index [7] is out of bounds.");
  EXPECT_EQ(security.Count(), 5);
  security.DeleteEntry(1);
  security.DeleteEntry(3);
  EXPECT_THAT(Items(security),
              ElementsAre(Item("alice", "CORP", 1, {}), Item("SYSTEM", "WORKSTATION", 5, {}),
                          Item("Everyone", "WORKSTATION", 5, {})));
}

// Writing.

TEST_F(FileSecurityTest, AFileGetsOneEntryPerItemWithRights) {
  Open(file, {});
  security.GrantFullControl(security.AddAccount("", "Everyone"));
  TSecurityListItem& owner = security.Item(security.AddAccount("", "alice"));
  owner.FileRights = {frRead, frWrite};
  owner.FolderRights = {frFullControl};  // a file has no folder rights
  security.AddAccount("", "SYSTEM");
  api.lookupSystems.clear();
  security.WriteSecurity();
  EXPECT_THAT(api.written,
              ElementsAre(api.Allow(everyone, 0x1F01FF, 0x1), api.Allow(alice, 0x12019F, 0x1)));
  EXPECT_THAT(api.writtenPaths, ElementsAre(file));
  EXPECT_THAT(api.lookupSystems, ElementsAre("WORKSTATION", "WORKSTATION"));
  EXPECT_THAT(sets, ElementsAre(Report{0, 0}));
}

TEST_F(FileSecurityTest, AFolderHandsFileRightsDownAndKeepsFolderRights) {
  Open(folder, {});
  security.GrantFullControl(security.AddAccount("", "Everyone"));
  security.Item(security.AddAccount("", "alice")).FolderRights = {frRead, frWrite};
  security.Item(security.AddAccount("", "SYSTEM")).FileRights = {frWrite};
  security.WriteSecurity();
  EXPECT_THAT(api.written,
              ElementsAre(api.Allow(everyone, 0x10000000, 0x9), api.Allow(everyone, 0x1F01FF, 0x2),
                          api.Allow(alice, 0x12019F, 0x2), api.Allow(system, 0x40000000, 0x9)));
  std::vector<TSecurityListItem> before = Items(security);
  api.dacl.entries = api.written;
  security.ReadSecurity();
  EXPECT_EQ(Items(security), before);
}

TEST_F(FileSecurityTest, WriteFailuresAreReportedWithTheirLocation) {
  Open(file, {api.Allow(everyone, 0x1F01FF)});
  api.writeResult = {kErrorAccessDenied, DaclStep::kWriteDacl};
  security.WriteSecurity();
  api.writeResult = {kErrorNotEnoughMemory, DaclStep::kCreateDacl};
  security.WriteSecurity();
  EXPECT_THAT(sets, ElementsAre(Report{kErrorAccessDenied, 12}, Report{kErrorNotEnoughMemory, 6}));
}

TEST_F(FileSecurityTest, AnAccountLostBeforeTheWriteStopsItWithAnException) {
  Open(file, {api.Allow(admins, 0x1F01FF), api.Allow(everyone, 0x1F01FF)});
  api.accounts.erase(everyone);
  EXPECT_THROW(security.WriteSecurity(), EFileSecurityError);
  EXPECT_TRUE(api.writtenPaths.empty());
  EXPECT_TRUE(sets.empty());
}

TEST_F(FileSecurityTest, GrantingOnAMissingPathWritesAnEmptyDacl) {
  std::string missing = dir / "missing.txt";
  api.readResult = {kErrorFileNotFound, DaclStep::kReadDescriptor};
  api.writeResult = {kErrorFileNotFound, DaclStep::kWriteDacl};
  security.SetFileName(missing);
  EXPECT_EQ(security.FileName(), missing);
  TSecurityListItem& item = security.GrantFullControl(security.AddAccount("", "Everyone"));
  EXPECT_TRUE(item.FileRights.Empty());
  EXPECT_TRUE(item.FolderRights.Empty());
  security.WriteSecurity();
  EXPECT_THAT(api.writtenPaths, ElementsAre(missing));
  EXPECT_TRUE(api.written.empty());
  EXPECT_THAT(sets, ElementsAre(Report{kErrorFileNotFound, 12}));
}

TEST_F(FileSecurityTest, AVolumeWithoutAclsLeavesNothingToWriteTo) {
  api.volume.fileSystemFlags = 0;
  security.SetFileName(file);
  security.GrantFullControl(security.AddAccount("", "Everyone"));
  security.WriteSecurity();
  EXPECT_TRUE(api.writtenPaths.empty());
  EXPECT_THAT(sets, ElementsAre(Report{kErrorFileNotFound, 12}));
}

}  // namespace
}  // namespace slv2
