// File rights and their access masks, and the security component over a
// scripted security layer: what only such a layer can give on any machine
// (Windows drives, shares and volumes, failures at each step, entry shapes
// Linux lists never have) and what each gives.
#include <gtest/gtest.h>

#include <functional>

#include "FakeSecurityApi.h"
#include "TestSupport.h"
#include "products/FileSecurity.h"
#include "products/SecurityUtil.h"
#include "sys/StrUtil.h"
#include "sys/WinError.h"

namespace slv2 {
namespace {

using security::DaclStep;
using namespace test;

// Masks give the rights whose bits are all there; rights give masks with
// read and write combined; full control is the whole mask only alone.
TEST(FileRightsTest, MasksAndRights) {
  EXPECT_EQ(AccessMaskToRights(0x120088), TFileRights{});  // FILE_READ_DATA missing
  EXPECT_EQ(AccessMaskToRights(0x1F01FF | 0x10000000).Byte(), 0x3F);
  EXPECT_EQ(GenericMaskToRights(0x10000000 | 0x80000000), TFileRights{frRead});
  EXPECT_EQ(RightsToAccessMask({frFullControl, frRead}), 0x120089u);
  EXPECT_EQ(RightsToGenericMask({frFullControl, frExecute}), 0x20000000u);
  EXPECT_EQ(RightsToGenericMask({frRead, frTakeOwnership}), 0x80080000u);
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
    test::WriteFile(folder + "/inside.txt", "x");
  }

  // What the object is, then the layer's log with the reports, a raised
  // error and what the test adds, then "name domain use fileRights
  // folderRights" of every item.
  std::string Outcome(const TFileSecurity& security) const {
    std::string text = security.FileName().empty() ? "no object" : security.FileName();
    const char* separator = ": ";
    auto add = [&](const std::string& part) {
      text += separator + part;
      separator = " | ";
    };
    for (const std::string& line : api.log)
      add(line);
    for (int i = 0; i < security.Count(); ++i) {
      const TSecurityListItem& item = security.Item(i);
      add(Format("%s %s %u %02X %02X", item.AccountName.c_str(), item.DomainName.c_str(),
                 item.SidUse, item.FileRights.Byte(), item.FolderRights.Byte()));
    }
    return text;
  }

  test::TempDir dir;
  std::string file = dir / "file.txt", folder = dir / "folder";
  test::FakeSecurityApi api;
  security::Sid admins = api.Account("Administrators", 4, "BUILTIN");
  security::Sid system = api.Account("SYSTEM", 5, "nt authority");
  security::Sid everyone = api.Account("Everyone", 5);
  security::Sid alice = api.Account("alice", 1, "CORP");
  security::Sid aliceGroup = api.Account("alice", 2, "CORP");
  security::Sid unknown = {1, 1, 0, 0, 0, 0, 0, 5, 99, 0, 0, 0};
};

TEST_F(FileSecurityTest, ObjectsEntriesAndFailures) {
  // Everyone's full control, alice's read and write (and full control where
  // it has a folder), SYSTEM with no rights; then the write.
  auto grantAndWrite = [](TFileSecurity& s) {
    s.GrantFullControl(s.AddAccount("", "Everyone"));
    TSecurityListItem& item = s.Item(s.AddAccount("", "alice"));
    item.FileRights = {frRead, frWrite};
    item.FolderRights = {frFullControl};
    s.AddAccount("", "SYSTEM");
    s.WriteSecurity();
  };
  auto allow = [&](TFileSecurity&) {
    std::string why;
    api.log.push_back(AllowFileForEveryone(file, api, &why) ? "allowed" : "not allowed: " + why);
  };
  const test::FakeSecurityApi machine = api;
  struct Case {
    std::function<void()> setUp;  // the layer's answers
    std::string path;
    std::vector<security::AccessEntry> dacl;
    std::function<void(TFileSecurity&)> then;
    std::string outcome;  // {path}, {volume}: the path and its volume root
  } cases[] = {
      // clang-format off
      // Runs of one account's entries make one item each; a denial opens or
      // continues an item, a later grant replaces an earlier one; a user and
      // a group of one name are two accounts. The same object again is not
      // read again.
      {{}, file, {Deny(everyone, 0x1F01FF), Allow(admins, 0x120089), Deny(admins, 0x1F01FF), Allow(admins, 0x120116), Allow(system, 0x120089), Deny(admins, 0x120116), Allow(alice, 0x1200A9), Allow(aliceGroup, 0x120089)},
       [&](TFileSecurity& s) { s.SetFileName(s.FileName()); s.ReadSecurity(); },
       "{path}: volume {volume} | get 0@0 | get 0@0 | Everyone WORKSTATION 5 00 00 | Administrators WORKSTATION 4 02 00 | SYSTEM WORKSTATION 5 01 00 | Administrators WORKSTATION 4 00 00 | alice CORP 1 05 00 | alice CORP 2 01 00"},
      {{}, folder, {Allow(everyone, 0x10000000, kFileFlags), Allow(everyone, 0x1F01FF, kFolderFlags), Allow(system, 0xA0000000, 0x1), Allow(admins, 0x1200A9, 0x3)}, {},
       "{path}: volume {volume} | get 0@0 | Everyone WORKSTATION 5 40 40 | SYSTEM WORKSTATION 5 05 00 | Administrators WORKSTATION 4 00 05"},
      {{}, file, {}, grantAndWrite, "{path}: volume {volume} | get FFFFFFFF@3 | write +Everyone 1F01FF/1 +alice 12019F/1 | set 0@0 | Everyone WORKSTATION 5 40 00 | alice CORP 1 03 40 | SYSTEM WORKSTATION 5 00 00"},
      {{}, folder, {}, grantAndWrite, "{path}: volume {volume} | get FFFFFFFF@3 | write +Everyone 10000000/9 +Everyone 1F01FF/2 +alice C0000000/9 +alice 1F01FF/2 | set 0@0 | Everyone WORKSTATION 5 40 40 | alice CORP 1 03 40 | SYSTEM WORKSTATION 5 00 00"},
      // A failed volume step drops the object and its entries; a path takes
      // 255 characters at most.
      {{}, file, {Allow(everyone, 0x1F01FF)}, [](TFileSecurity& s) { s.SetFileName(std::string(255, 'a')); s.SetFileName("/" + std::string(255, 'a')); s.ReadSecurity(); },
       "no object: volume {volume} | get 0@0 | volume \\ | get 0@0 | get CE@0 | get 2@0"},
      {[&] { api.driveType = security::kDriveUnknown; }, file, {}, {}, "no object: get D@0"},
      {[&] { api.driveType = security::kDriveNoRootDir; }, file, {}, {}, "no object: get E@0"},
      {[&] { api.volumeError = 21; }, file, {}, {}, "no object: volume {volume} | get 15@0"},
      {[&] { api.volume.fileSystemFlags = 0; }, file, {}, grantAndWrite, "no object: volume {volume} | get FFFFFFFE@0 | set 2@12 | Everyone WORKSTATION 5 40 00 | alice CORP 1 03 40 | SYSTEM WORKSTATION 5 00 00"},
      // A drive letter alone is its root; a mapped drive's accounts live on
      // its server, a share's on this machine.
      {{}, "Q:", {Allow(everyone, 0x1F01FF)}, {}, "Q:\\: volume Q:\\ | get 0@0 | Everyone WORKSTATION 5 00 00"},
      {[&] { api.driveType = security::kDriveRemote; api.connection = "\\\\srv\\share"; }, "X:\\data\\f.txt", {Allow(everyone, 0x1F01FF)}, {}, "{path}: volume \\\\srv\\share\\ | get 0@0 | Everyone srv 5 00 00"},
      {[&] { api.driveType = security::kDriveRemote; }, "\\\\unc\\share\\f.txt", {Allow(everyone, 0x1F01FF)}, {}, "{path}: volume \\\\unc\\share\\ | get 0@0 | Everyone WORKSTATION 5 00 00"},
      // Failures reported at their step; accounts that cannot be looked up
      // raise, indexes past the items too.
      {[&] { api.writeResult = {kErrorNotEnoughMemory, DaclStep::kCreateDacl}; }, file, {}, grantAndWrite, "{path}: volume {volume} | get FFFFFFFF@3 | write +Everyone 1F01FF/1 +alice 12019F/1 | set 8@6 | Everyone WORKSTATION 5 40 00 | alice CORP 1 03 40 | SYSTEM WORKSTATION 5 00 00"},
      {[&] { api.readResult = {kErrorFileNotFound, DaclStep::kReadDescriptor}; api.writeResult = {kErrorFileNotFound, DaclStep::kWriteDacl}; }, dir / "missing.txt", {}, grantAndWrite,
       "{path}: volume {volume} | get 2@1 | write +alice 12019F/1 | set 2@12 | Everyone WORKSTATION 5 00 00 | alice CORP 1 03 40 | SYSTEM WORKSTATION 5 00 00"},
      {{}, file, {Allow(admins, 0x1F01FF)}, [&](TFileSecurity& s) { s.GrantFullControl(0); api.accounts.erase(admins); s.WriteSecurity(); }, "{path}: volume {volume} | get 0@0 | raised | Administrators WORKSTATION 4 40 00"},
      {{}, file, {Allow(admins, 0x1F01FF)}, [](TFileSecurity& s) { s.DeleteEntry(0); s.AddAccount("SRV", "Everyone"); s.DeleteEntry(1); }, "{path}: volume {volume} | get 0@0 | raised | Everyone SRV 5 00 00"},
      {{}, file, {Allow(unknown, 0x1F01FF)}, {}, "{path}: volume {volume} | get 534@5"},
      {{}, file, {}, [](TFileSecurity& s) { s.AddAccount("", "Jedermann"); }, "{path}: volume {volume} | get FFFFFFFF@3 | raised"},
      // Opening a file to all users: only on NT systems with the library
      // loaded, Everyone's full control alone; a volume without access lists,
      // a failed write or an Everyone that cannot be looked up is no success,
      // and says why.
      {[&] { api.platformId = 1; }, file, {}, allow, "{path}: volume {volume} | get FFFFFFFF@3 | not allowed: this system keeps no access lists"},
      {[&] { api.loads = false; }, file, {}, allow, "{path}: volume {volume} | get FFFFFFFF@3 | not allowed: the system's security functions cannot be loaded"},
      {{}, file, {Allow(alice, 0x1F01FF)}, allow, "{path}: volume {volume} | get 0@0 | volume {volume} | write +Everyone 1F01FF/1 | allowed | alice CORP 1 40 00"},
      {[&] { api.writeResult = {kErrorAccessDenied, DaclStep::kWriteDacl}; }, file, {}, allow, "{path}: volume {volume} | get FFFFFFFF@3 | volume {volume} | write +Everyone 1F01FF/1 | not allowed: " + SysErrorMessage(kErrorAccessDenied)},
      {[&] { api.accounts.erase(everyone); }, file, {}, allow, "{path}: volume {volume} | get FFFFFFFF@3 | volume {volume} | not allowed: " + SysErrorMessage(kErrorNoneMapped)},
      {[&] { api.volume.fileSystemFlags = 0; }, file, {}, allow, "no object: volume {volume} | get FFFFFFFE@0 | volume {volume} | not allowed: its volume keeps no access lists"},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.outcome);
    api = machine;
    if (c.setUp) c.setUp();
    api.dacl.entries = c.dacl;
    TFileSecurity security(api);
    security.OnGetSecurity = [this](TFileSecurity&, uint32_t error, uint32_t location) {
      api.log.push_back(Format("get %X@%u", error, location));
    };
    security.OnSetSecurity = [this](TFileSecurity&, uint32_t error, uint32_t location) {
      api.log.push_back(Format("set %X@%u", error, location));
    };
    try {
      security.SetFileName(c.path);
      if (c.then) c.then(security);
    } catch (const EFileSecurityError&) {
      api.log.push_back("raised");
    }
    // A path in POSIX form is its own volume root; a Windows path has a drive.
    const std::string volume = c.path[0] == '/' ? c.path : c.path.substr(0, 3);
    EXPECT_EQ(Outcome(security), ReplaceAll(ReplaceAll(c.outcome, "{path}", c.path, false),
                                            "{volume}", volume, false));
  }
}

}  // namespace
}  // namespace slv2
