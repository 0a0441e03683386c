#include <dirent.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "AclTestSupport.h"
#include "FakeSecurityApi.h"
#include "TestSupport.h"
#include "products/FileSecurity.h"
#include "products/SecurityUtil.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"

namespace slv2 {
namespace {

using test::A;
using ::testing::ElementsAre;
namespace stdfs = std::filesystem;

constexpr char kOpenFile[] = "user::rwx\ngroup::rwx\nother::rwx\n\n";
constexpr char kOpenFolder[] =
    "user::rwx\ngroup::rwx\nother::rwx\n"
    "default:user::rwx\ndefault:group::rwx\ndefault:other::rwx\n\n";

std::vector<TSecurityListItem> ItemsOf(const std::string& path) {
  TFileSecurity security;
  security.SetFileName(path);
  std::vector<TSecurityListItem> items;
  for (int i = 0; i < security.Count(); ++i)
    items.push_back(security.Item(i));
  return items;
}

TSecurityListItem EveryoneWith(TFileRights fileRights, TFileRights folderRights = {}) {
  return {"Everyone", security::PlatformSecurityApi().ComputerName(), 5, fileRights, folderRights};
}

class SecurityUtilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why = test::WhyNoAcls(dir.Path());
    if (!why.empty()) GTEST_SKIP() << why;
  }
  void Chmod(const std::string& path, unsigned mode) {
    stdfs::permissions(AnsiToUtf8(path), stdfs::perms(mode));
  }

  test::TempDir dir;
};

TEST_F(SecurityUtilTest, AFileGrantsFullControlToEveryoneAlone) {
  std::string file = dir / "file.txt";
  test::WriteFile(file, "x");
  Chmod(file, 0640);
  test::SetFacl("-m u:nobody:r--,g:nogroup:rw-", file);
  ASSERT_TRUE(LoadSecurityApi());
  EXPECT_TRUE(AllowFileForEveryone(file));
  EXPECT_EQ(test::GetFacl(file), kOpenFile);
  EXPECT_THAT(ItemsOf(file), ElementsAre(EveryoneWith({frFullControl})));
}

TEST_F(SecurityUtilTest, AFolderAlsoOpensTheFilesLaterCreatedInIt) {
  std::string folder = dir / "folder";
  stdfs::create_directory(AnsiToUtf8(folder));
  Chmod(folder, 0700);
  test::SetFacl("-d -m u::rwx,g::---,o::---,u:nobody:r--", folder);
  EXPECT_TRUE(AllowFileForEveryone(folder));
  EXPECT_EQ(test::GetFacl(folder), kOpenFolder);
  EXPECT_THAT(ItemsOf(folder), ElementsAre(EveryoneWith({frFullControl}, {frFullControl})));
  test::WriteFile(folder + "/new.txt", "x");
  EXPECT_EQ(test::GetFacl(folder + "/new.txt"), "user::rw-\ngroup::rw-\nother::rw-\n\n");
}

TEST_F(SecurityUtilTest, AnotherUserReallyGetsIn) {
  if (!test::RunsAsRoot()) GTEST_SKIP() << "checking as the user nobody needs root";
  std::string folder = dir / "folder", file = dir / "folder/tool.sh";
  test::WriteFile(file, "x");
  Chmod(file, 0700);
  Chmod(folder, 0700);
  ASSERT_FALSE(test::AsNobody([&] { return ::access(AnsiToUtf8(file).c_str(), R_OK) == 0; }));
  for (const std::string& path : {dir.Path(), folder, file})
    EXPECT_TRUE(AllowFileForEveryone(path));
  EXPECT_TRUE(test::AsNobody([&] {
    std::string native = AnsiToUtf8(file);
    int fd = ::open(native.c_str(), O_RDWR);
    bool written = fd >= 0 && ::write(fd, "y", 1) == 1;
    if (fd >= 0) ::close(fd);
    DIR* listing = ::opendir(AnsiToUtf8(folder).c_str());
    bool listed = listing != nullptr;
    if (listing) ::closedir(listing);
    int created = ::open(AnsiToUtf8(folder + "/by-nobody.txt").c_str(), O_CREAT | O_WRONLY, 0644);
    if (created >= 0) ::close(created);
    return written && ::access(native.c_str(), X_OK) == 0 && listed && created >= 0;
  }));
}

TEST_F(SecurityUtilTest, AReadOnlyFileStaysReadOnlyAndBecomesReadableByAll) {
  std::string file = dir / "readme.txt";
  test::WriteFile(file, "text");
  Chmod(file, 0400);
  ASSERT_NE(fs::GetFileAttributes(file) & fs::kAttrReadOnly, 0u);
  EXPECT_TRUE(AllowFileForEveryone(file));
  EXPECT_EQ(test::GetFacl(file), "user::r-x\ngroup::r-x\nother::r-x\n\n");
  EXPECT_NE(fs::GetFileAttributes(file) & fs::kAttrReadOnly, 0u);
  EXPECT_THAT(ItemsOf(file), ElementsAre(EveryoneWith({frRead, frExecute})));
  if (test::RunsAsRoot()) {
    Chmod(dir.Path(), 0711);
    EXPECT_TRUE(test::AsNobody([&] {
      std::string native = AnsiToUtf8(file);
      int fd = ::open(native.c_str(), O_RDONLY);
      char c = 0;
      bool read = fd >= 0 && ::read(fd, &c, 1) == 1 && c == 't';
      if (fd >= 0) ::close(fd);
      return read && ::open(native.c_str(), O_WRONLY) < 0;
    }));
  }
}

TEST_F(SecurityUtilTest, NamesAreProgramTextFoundIgnoringCase) {
  test::WriteFile(dir / A("Папка/Файл.txt"), "x");
  EXPECT_TRUE(AllowFileForEveryone(dir / A("ПАПКА/файл.TXT")));
  EXPECT_EQ(test::GetFacl(dir / A("Папка/Файл.txt")), kOpenFile);
}

TEST_F(SecurityUtilTest, WhatCannotBeOpenedGivesFalseAndChangesNothing) {
  std::string missing = dir / "missing.txt";
  EXPECT_FALSE(AllowFileForEveryone(missing));
  EXPECT_EQ(SetEveryoneFullControl(missing), kErrorFileNotFound);
  EXPECT_FALSE(test::PathExists(missing));

  std::string deep = dir / (std::string(100, 'a') + "/" + std::string(100, 'b') + "/" +
                            std::string(60, 'c') + ".txt");
  test::WriteFile(deep, "x");
  Chmod(deep, 0600);
  ASSERT_GT(deep.size(), 255u);
  EXPECT_FALSE(AllowFileForEveryone(deep));
  EXPECT_EQ(test::GetFacl(deep), "user::rw-\ngroup::---\nother::---\n\n");
}

TEST(SecurityUtilOnKernelFilesTest, AVolumeWithoutAccessListsGivesFalse) {
  TFileSecurity security;
  std::vector<std::pair<uint32_t, uint32_t>> reports;
  security.OnGetSecurity = [&](TFileSecurity&, uint32_t error, uint32_t location) {
    reports.emplace_back(error, location);
  };
  security.SetFileName("/proc/version");
  EXPECT_THAT(reports, ElementsAre(std::pair<uint32_t, uint32_t>{0xFFFFFFFE, 0}));
  EXPECT_EQ(security.FileName(), "");
  EXPECT_EQ(security.FileSystemName(), "proc");
  EXPECT_FALSE(AllowFileForEveryone("/proc/version"));
}

TEST(SecurityUtilPlatformTest, OnlyNtSystemsWithTheLibraryAndAnEveryoneAreTouched) {
  test::TempDir dir;
  std::string file = dir / "file.txt";
  test::WriteFile(file, "x");
  test::FakeSecurityApi api;
  security::Sid everyone = api.Account("Everyone", 5);

  api.platformId = 1;
  EXPECT_FALSE(AllowFileForEveryone(file, api));
  api.platformId = security::kVerPlatformWin32Nt;
  api.loads = false;
  EXPECT_FALSE(AllowFileForEveryone(file, api));
  EXPECT_TRUE(api.driveRoots.empty());

  api.loads = true;
  EXPECT_TRUE(AllowFileForEveryone(file, api));
  EXPECT_THAT(api.written, ElementsAre(api.Allow(everyone, 0x1F01FF, 0x1)));

  // Where the group has another name the lookup fails and nothing is written.
  api.accounts.clear();
  api.writtenPaths.clear();
  EXPECT_FALSE(AllowFileForEveryone(file, api));
  EXPECT_THROW(SetEveryoneFullControl(file, api), EFileSecurityError);
  EXPECT_TRUE(api.writtenPaths.empty());
}

}  // namespace
}  // namespace slv2
