// The orthography updater's media macro: the folder of the media's disk
// file, from the per-user key only.
#include <gtest/gtest.h>

#include "ProductFixture.h"
#include "products/Slv2OrthoUpdater.h"
#include "sys/registry/RegFunctions.h"

namespace slv2::test {
namespace {

constexpr const char* kKey = "\\Software\\Zarvik\\Solvane\\hosts\\ortho_media_sheg01";

class Slv2OrthoUpdaterTest : public ProductFixture {
 protected:
  Slv2OrthoUpdaterTest() : ProductFixture("orthography") {}
  std::string Media(const char* base) {
    if (base) RegWriteString(reg::kHkeyCurrentUser, kKey, "Base", base);
    std::unique_ptr<TSlv2Updater> updater = TSlv2OrthoUpdater::Class().Create();
    std::string value;
    return updater->FindMacro("ORTHO_MEDIA", value) ? value : "<none>";
  }

  LogCapture log{"TSlv2OrthoUpdater"};
};

TEST_F(Slv2OrthoUpdaterTest, TheMacroIsTheFolderOfTheDiskFile) {
  EXPECT_EQ(Media("D:\\Media\\Ortho\\disk.dat"), "D:\\Media\\Ortho");
  EXPECT_TRUE(log.Has("DEBUG addOrthoMediaMacro(): added macro ORTHO_MEDIA=D:\\Media\\Ortho"))
      << log.Text();
  EXPECT_EQ(Media("D:\\Media\\Ortho\\"), "D:\\Media\\Ortho");
  EXPECT_EQ(Media("X:\\disk.dat"), "X");
  EXPECT_EQ(Media("/media/cdrom/ortho/disk.dat"), "/media/cdrom/ortho");
}

TEST_F(Slv2OrthoUpdaterTest, NoFolderDefinesNothing) {
  EXPECT_EQ(Media(nullptr), "<none>");
  RegWriteString(reg::kHkeyCurrentUser, kKey, "Other", "x");  // the key without "Base"
  EXPECT_EQ(Media(nullptr), "<none>");
  EXPECT_EQ(Media("disk.dat"), "<none>");
  EXPECT_EQ(log.Count("ERROR addOrthoMediaMacro(): didnt found registry info for value of "
                      "ORTHO_MEDIA macro"),
            3)
      << log.Text();
  // The machine-wide layout holds no orthography media key.
  RegWriteString(reg::kHkeyLocalMachine,
                 "\\Software\\Zarvik\\Solvane 2.1\\hosts\\ortho_media_sheg01", "Base",
                 "D:\\disk.dat");
  TempRegistry fresh;
  InstallShell(FamilyLayout::Machine21, shell);
  EXPECT_EQ(Media(nullptr), "<none>");
}

}  // namespace
}  // namespace slv2::test
