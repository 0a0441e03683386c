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
    std::string value;
    return TSlv2PuncUpdater::Class().Create()->FindMacro("PUNC_MEDIA", value) ? value : "<none>";
  }

  LogCapture log{"TSlv2PuncUpdater"};
};

TEST_F(Slv2PuncUpdaterTest, TheMediaMacroComesFromTheMachineKeyFirst) {
  EXPECT_EQ(Media(), "<none>");
  EXPECT_TRUE(log.Has(
      "ERROR addPuncMediaMacro(): didnt found registry info for value of PUNC_MEDIA macro"));
  RegWriteString(reg::kHkeyCurrentUser, kUserKey, "media", "E:\\Other");
  EXPECT_EQ(Media(), "E:\\Other");
  EXPECT_TRUE(log.Has("DEBUG addPuncMediaMacro(): added macro PUNC_MEDIA=E:\\Other"));
  RegWriteString(reg::kHkeyLocalMachine, kHostKey, "Base", "D:\\Media\\Punc");
  EXPECT_EQ(Media(), "D:\\Media\\Punc");
}

TEST_F(Slv2PuncUpdaterTest, AMediaKeyWithoutItsValueStopsTheCreation) {
  RegWriteString(reg::kHkeyLocalMachine, kHostKey, "Other", "x");
  EXPECT_THROW(TSlv2PuncUpdater::Class().Create(), ERegistryError);
  TempRegistry fresh;
  RegWriteString(reg::kHkeyCurrentUser, kUserKey, "root", "punctuation");
  EXPECT_THROW(TSlv2PuncUpdater::Class().Create(), ERegistryError);
}

TEST_F(Slv2PuncUpdaterTest, OnlyProgramsStoragesAndIniFilesStay) {
  for (const char* file :
       {"bin/a.exe", "bin/B.STG", "bin/c.ini", "bin/d.dll", "bin/sub/e.txt", "bin/locked.dll",
        "data/x.dat", "root.txt", "punctuation.exe", "media/clip.avi", "kept/data/x.dat"})
    WriteFile(Join(product, "") + file, "x");
  MakeReadOnly(Join(product, "bin/locked.dll"));
  std::filesystem::create_directories(Join(product, "settings/empty"));  // no files to delete
  StorageWriter(dir / "pkg/punctuation.stg").AddStorage("files");
  std::unique_ptr<TSlv2Updater> updater = TSlv2PuncUpdater::Class().Create();
  updater->SetStorageFileName(dir / "pkg/punctuation.stg");
  updater->Execute();
  EXPECT_EQ(Entries(Join(product, "bin")),
            (std::vector<std::string>{"B.STG", "a.exe", "c.ini", "locked.dll", "sub"}));
  EXPECT_TRUE(Entries(Join(product, "bin/sub")).empty());
  EXPECT_FALSE(PathExists(Join(product, "data")));  // emptied, then removed
  EXPECT_EQ(Entries(Join(product, "settings")), (std::vector<std::string>{"empty"}));
  EXPECT_FALSE(PathExists(Join(product, "root.txt")));
  EXPECT_TRUE(PathExists(Join(product, "punctuation.exe")));
  EXPECT_TRUE(PathExists(Join(product, "media/clip.avi")));  // the root is not recursive
  for (const std::string& line : std::vector<std::string>{
           "DEBUG Specific part of \"punctuation\" update started",
           "DEBUG removeOldFiles(" + Join(product, "bin, true): 2 files deleted"),
           "WARN removeOldFiles(" + Join(product, "settings, true): no files found for deletion"),
           "DEBUG removeOldFiles(" + product + ", false): 1 files deleted",
           "DEBUG Specific part of \"punctuation\" update finished",
       }) {
    EXPECT_TRUE(log.Has(line)) << line << "\n" << log.Text();
  }

  // Without its product folder the clean-up would start at the drive root.
  InstallProduct(FamilyLayout::Machine21, "punctuation", "");
  TSlv2PuncUpdater::Class().Create()->AfterExecute();
  EXPECT_TRUE(log.Has("ERROR removeOldFiles(): product folder is unknown, old files are kept"));
}

}  // namespace
}  // namespace slv2::test
