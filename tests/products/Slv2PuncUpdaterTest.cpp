// The punctuation updater: its media macro from either registry layout and
// the clean-up of old files after its update.
#include <gtest/gtest.h>

#include <filesystem>

#include "ProductFixture.h"
#include "products/Slv2PuncUpdater.h"
#include "sys/registry/RegFunctions.h"

namespace slv2::test {
namespace {

constexpr const char* kHostKey = "\\Software\\Zarvik\\Solvane 2.1\\hosts\\punc_media";
constexpr const char* kUserKey = "\\Software\\Zarvik\\Solvane\\punctuation";

class Slv2PuncUpdaterTest : public ProductFixture {
 protected:
  Slv2PuncUpdaterTest() : ProductFixture("punctuation") {}
  std::string Media() {
    std::unique_ptr<TSlv2Updater> updater = TSlv2PuncUpdater::Class().Create();
    std::string value;
    return updater->FindMacro("PUNC_MEDIA", value) ? value : "<none>";
  }
  // Runs the updater on a storage without elements: only its own steps act.
  void Run() {
    StorageWriter(dir / "pkg/punctuation.stg").AddStorage("files");
    std::unique_ptr<TSlv2Updater> updater = TSlv2PuncUpdater::Class().Create();
    updater->SetStorageFileName(dir / "pkg/punctuation.stg");
    updater->Execute();
  }

  LogCapture log{"TSlv2PuncUpdater"};
};

TEST_F(Slv2PuncUpdaterTest, TheMediaMacroComesFromTheMachineKeyFirst) {
  RegWriteString(reg::kHkeyCurrentUser, kUserKey, "media", "E:\\Other");
  EXPECT_EQ(Media(), "E:\\Other");
  EXPECT_TRUE(log.Has("DEBUG addPuncMediaMacro(): added macro PUNC_MEDIA=E:\\Other")) << log.Text();
  RegWriteString(reg::kHkeyLocalMachine, kHostKey, "Base", "D:\\Media\\Punc");
  EXPECT_EQ(Media(), "D:\\Media\\Punc");
}

TEST_F(Slv2PuncUpdaterTest, WithoutAMediaKeyNothingIsDefined) {
  EXPECT_EQ(Media(), "<none>");
  EXPECT_TRUE(log.Has(
      "ERROR addPuncMediaMacro(): didnt found registry info for value of PUNC_MEDIA macro"));
  // An empty value defines nothing either.
  RegWriteString(reg::kHkeyLocalMachine, kHostKey, "Base", "");
  EXPECT_EQ(Media(), "<none>");
}

TEST_F(Slv2PuncUpdaterTest, AMediaKeyWithoutItsValueStopsTheCreation) {
  RegWriteString(reg::kHkeyLocalMachine, kHostKey, "Other", "x");
  EXPECT_THROW(TSlv2PuncUpdater::Class().Create(), ERegistryError);
  TempRegistry fresh;
  InstallShell(FamilyLayout::User20, shell);
  RegWriteString(reg::kHkeyCurrentUser, kUserKey, "root", "punctuation");
  EXPECT_THROW(TSlv2PuncUpdater::Class().Create(), ERegistryError);
}

TEST_F(Slv2PuncUpdaterTest, OnlyProgramsStoragesAndIniFilesStay) {
  for (const char* file :
       {"bin/a.exe", "bin/B.STG", "bin/c.ini", "bin/d.dll", "bin/sub/e.txt", "data/x.dat",
        "settings/s.ini", "settings/old.cfg", "root.txt", "punctuation.exe", "media/clip.avi"}) {
    WriteFile(product + "/" + file, "x");
  }
  WriteFile(product + "/bin/locked.dll", "x");
  MakeReadOnly(product + "/bin/locked.dll");
  Run();
  EXPECT_EQ(Entries(product + "/bin"),
            (std::vector<std::string>{"B.STG", "a.exe", "c.ini", "locked.dll", "sub"}));
  EXPECT_TRUE(Entries(product + "/bin/sub").empty());
  EXPECT_FALSE(PathExists(product + "/data"));  // emptied, then removed
  EXPECT_EQ(Entries(product + "/settings"), (std::vector<std::string>{"s.ini"}));
  EXPECT_FALSE(PathExists(product + "/root.txt"));
  EXPECT_TRUE(PathExists(product + "/punctuation.exe"));
  EXPECT_TRUE(PathExists(product + "/media/clip.avi"));  // the root is not recursive
  for (const std::string& line : {
           std::string("DEBUG Specific part of \"punctuation\" update started"),
           "DEBUG removeOldFiles(" + product + "/bin, true): 2 files deleted",
           "DEBUG removeOldFiles(" + product + "/data, true): 1 files deleted",
           "DEBUG removeOldFiles(" + product + ", false): 1 files deleted",
           std::string("DEBUG Specific part of \"punctuation\" update finished"),
       }) {
    EXPECT_TRUE(log.Has(line)) << line << "\n" << log.Text();
  }
}

TEST_F(Slv2PuncUpdaterTest, FoldersWithoutFilesAreReportedAndAKeptDataFolderStays) {
  WriteFile(product + "/data/keep.ini", "x");
  std::filesystem::create_directories(product + "/bin/sub");
  Run();
  EXPECT_TRUE(PathExists(product + "/data/keep.ini"));
  EXPECT_TRUE(
      log.Has("WARN removeOldFiles(" + product + "/bin, true): no files found for deletion"))
      << log.Text();
  EXPECT_TRUE(
      log.Has("WARN removeOldFiles(" + product + "/settings, true): no files found for deletion"));
}

TEST_F(Slv2PuncUpdaterTest, AnUnknownProductFolderKeepsEverything) {
  InstallProduct(FamilyLayout::Machine21, "punctuation", "");
  WriteFile(shell + "/bin/shell.dll", "x");
  Run();
  EXPECT_TRUE(PathExists(shell + "/bin/shell.dll"));
  EXPECT_TRUE(log.Has("ERROR removeOldFiles(): product folder is unknown, old files are kept"))
      << log.Text();
  EXPECT_EQ(log.Count("files deleted"), 0);
}

}  // namespace
}  // namespace slv2::test
