// The orthography updater's media macro: the folder of the media's disk
// file, from the per-user key only.
#include <gtest/gtest.h>

#include "ProductFixture.h"
#include "products/Slv2OrthoUpdater.h"
#include "sys/registry/RegFunctions.h"

namespace slv2::test {
namespace {

class Slv2OrthoUpdaterTest : public ProductFixture {
 protected:
  Slv2OrthoUpdaterTest() : ProductFixture("orthography") {}
  std::string Media(reg::HKey root, const char* base) {
    RegWriteString(root,
                   root == reg::kHkeyCurrentUser
                       ? "\\Software\\Zarvik\\Solvane\\hosts\\ortho_media_sheg01"
                       : "\\Software\\Zarvik\\Solvane 2.1\\hosts\\ortho_media_sheg01",
                   "Base", base);
    std::string value;
    return TSlv2OrthoUpdater::Class().Create()->FindMacro("ORTHO_MEDIA", value) ? value : "<none>";
  }

  LogCapture log{"TSlv2OrthoUpdater"};
};

TEST_F(Slv2OrthoUpdaterTest, TheMacroIsTheFolderOfTheDiskFile) {
  EXPECT_EQ(Media(reg::kHkeyLocalMachine, "D:\\disk.dat"), "<none>");  // per user only
  EXPECT_EQ(Media(reg::kHkeyCurrentUser, "D:\\Media\\Ortho\\disk.dat"), "D:\\Media\\Ortho");
  EXPECT_TRUE(log.Has("DEBUG addOrthoMediaMacro(): added macro ORTHO_MEDIA=D:\\Media\\Ortho"));
  EXPECT_EQ(Media(reg::kHkeyCurrentUser, "D:\\Media\\Ortho\\"), "D:\\Media\\Ortho");
  EXPECT_EQ(Media(reg::kHkeyCurrentUser, "X:\\disk.dat"), "X");
  EXPECT_EQ(Media(reg::kHkeyCurrentUser, "/media/cdrom/disk.dat"), "/media/cdrom");
  EXPECT_EQ(Media(reg::kHkeyCurrentUser, "disk.dat"), "<none>");
  EXPECT_EQ(log.Count("ERROR addOrthoMediaMacro(): didnt found registry info for value of "
                      "ORTHO_MEDIA macro"),
            2)
      << log.Text();
}

}  // namespace
}  // namespace slv2::test
