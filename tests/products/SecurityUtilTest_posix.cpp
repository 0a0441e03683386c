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

namespace slv2 {
namespace {

using test::A;

constexpr char kOpenFile[] = "user::rwx\ngroup::rwx\nother::rwx\n\n";

class SecurityUtilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why = test::WhyNoAcls(dir.Path());
    if (!why.empty()) GTEST_SKIP() << why;
  }
  void Chmod(const std::string& path, unsigned mode) {
    std::filesystem::permissions(AnsiToUtf8(path), std::filesystem::perms(mode));
  }
  // The only item read back must be Everyone with these rights.
  void ExpectEveryoneAlone(const std::string& path, TFileRights fileRights,
                           TFileRights folderRights = {}) {
    TFileSecurity security;
    security.SetFileName(path);
    ASSERT_EQ(security.Count(), 1);
    EXPECT_EQ(security.Item(0), (TSecurityListItem{"Everyone", security.ComputerName(), 5,
                                                   fileRights, folderRights}));
  }

  test::TempDir dir;
  std::string folder = dir / "folder", file = dir / "folder/tool.sh";
};

TEST_F(SecurityUtilTest, FilesAndFoldersGrantFullControlToEveryoneAlone) {
  test::WriteFile(file, "x");
  Chmod(file, 0640);
  test::SetFacl("-m u:nobody:r--,g:nogroup:rw-", file);
  test::SetFacl("-d -m u::rwx,g::---,o::---,u:nobody:r--", folder);
  ASSERT_TRUE(LoadSecurityApi());
  EXPECT_TRUE(AllowFileForEveryone(file));
  EXPECT_TRUE(AllowFileForEveryone(folder));
  EXPECT_EQ(test::GetFacl(file), kOpenFile);
  EXPECT_EQ(test::GetFacl(folder),
            "user::rwx\ngroup::rwx\nother::rwx\n"
            "default:user::rwx\ndefault:group::rwx\ndefault:other::rwx\n\n");
  ExpectEveryoneAlone(file, {frFullControl});
  ExpectEveryoneAlone(folder, {frFullControl}, {frFullControl});
  // Files made in the folder later are open to all as well.
  test::WriteFile(folder + "/new.txt", "x");
  EXPECT_EQ(test::GetFacl(folder + "/new.txt"), "user::rw-\ngroup::rw-\nother::rw-\n\n");
}

TEST_F(SecurityUtilTest, AnotherUserReallyGetsIn) {
  if (!test::RunsAsRoot()) GTEST_SKIP() << "checking as the user nobody needs root";
  test::WriteFile(file, "x");
  Chmod(file, 0700);
  Chmod(folder, 0700);
  for (const std::string& path : {dir.Path(), folder, file})
    EXPECT_TRUE(AllowFileForEveryone(path));
  EXPECT_TRUE(test::AsNobody([&] {
    int fd = ::open(AnsiToUtf8(file).c_str(), O_RDWR);
    bool written = fd >= 0 && ::write(fd, "y", 1) == 1;
    if (fd >= 0) ::close(fd);
    int made = ::open(AnsiToUtf8(folder + "/by-nobody").c_str(), O_CREAT | O_WRONLY, 0644);
    if (made >= 0) ::close(made);
    return written && made >= 0 && ::access(AnsiToUtf8(file).c_str(), X_OK) == 0;
  }));
}

TEST_F(SecurityUtilTest, AReadOnlyFileStaysReadOnlyAndBecomesReadableByAll) {
  test::WriteFile(file, "text");
  Chmod(file, 0400);
  EXPECT_TRUE(AllowFileForEveryone(file));
  EXPECT_EQ(test::GetFacl(file), "user::r-x\ngroup::r-x\nother::r-x\n\n");
  EXPECT_NE(fs::GetFileAttributes(file) & fs::kAttrReadOnly, 0u);
  ExpectEveryoneAlone(file, {frRead, frExecute});
}

TEST_F(SecurityUtilTest, NamesAreProgramTextFoundIgnoringCase) {
  test::WriteFile(dir / A("Папка/Файл.txt"), "x");
  EXPECT_TRUE(AllowFileForEveryone(dir / A("ПАПКА/файл.TXT")));
  EXPECT_EQ(test::GetFacl(dir / A("Папка/Файл.txt")), kOpenFile);
}

TEST_F(SecurityUtilTest, WhatCannotBeOpenedGivesFalseAndChangesNothing) {
  EXPECT_EQ(SetEveryoneFullControl(dir / "missing"), 2u);
  EXPECT_FALSE(AllowFileForEveryone(dir / "missing"));
  EXPECT_FALSE(AllowFileForEveryone("/proc/version"));  // no access lists there
  std::string deep = dir / (std::string(120, 'a') + "/" + std::string(120, 'b') + ".txt");
  test::WriteFile(deep, "x");
  Chmod(deep, 0600);
  EXPECT_FALSE(AllowFileForEveryone(deep));  // longer than 255 characters
  EXPECT_EQ(test::GetFacl(deep), "user::rw-\ngroup::---\nother::---\n\n");
}

TEST(SecurityUtilPlatformTest, OnlyNtSystemsWithTheLibraryAndAnEveryoneAreTouched) {
  test::TempDir dir;
  test::WriteFile(dir / "file", "x");
  test::FakeSecurityApi api;
  security::Sid everyone = api.Account("Everyone", 5);
  api.platformId = 1;
  EXPECT_FALSE(AllowFileForEveryone(dir / "file", api));
  api.platformId = security::kVerPlatformWin32Nt;
  api.loads = false;
  EXPECT_FALSE(AllowFileForEveryone(dir / "file", api));
  EXPECT_TRUE(api.driveRoots.empty());
  api.loads = true;
  EXPECT_TRUE(AllowFileForEveryone(dir / "file", api));
  EXPECT_THAT(api.written, ::testing::ElementsAre(api.Allow(everyone, 0x1F01FF, 0x1)));
  // Where the group has another name nothing is written.
  api.accounts.clear();
  EXPECT_FALSE(AllowFileForEveryone(dir / "file", api));
  EXPECT_THROW(SetEveryoneFullControl(dir / "file", api), EFileSecurityError);
  EXPECT_EQ(api.writtenPaths.size(), 1u);
}

}  // namespace
}  // namespace slv2
