// Registry scripts of an update storage that are not imported: none, an
// empty registry storage, and scripts that cannot be read or expanded.
#include <gtest/gtest.h>

#include <filesystem>

#include "UpdaterFixture.h"
#include "sys/Cp1251.h"
#include "sys/registry/RegAnsi.h"
#include "sys/registry/RegFunctions.h"

namespace slv2::test {
namespace {

constexpr const char* kKey = "\\Software\\Test";

std::string Value(const char* name) {
  return RegReadStringDef(reg::kHkeyLocalMachine, kKey, name, "<missing>");
}

class ProcessRegistryTest : public UpdaterFixture {};

TEST_F(ProcessRegistryTest, NoOrAnEmptyRegistryStorage) {
  Run([](StorageWriter&) {});
  EXPECT_TRUE(log.Has("DEBUG ProcessRegistry(): no registry scripts to process"));
  Run([](StorageWriter& s) { s.AddStorage("registry"); });
  EXPECT_TRUE(log.Has("DEBUG ProcessRegistry(): processed 0 registry scripts")) << log.Text();
}

TEST_F(ProcessRegistryTest, ScriptsThatCannotBeReadOrNameAnUnknownFolderFail) {
  std::unique_ptr<TSlv2Updater> updater = TSlv2TestUpdater::Class().Create();
  EXPECT_FALSE(updater->ProcessRegFile(dir / "missing.reg"));
  EXPECT_EQ(log.Count("ERROR ProcessRegFile() failed: ESlvUpdater (Error reading"), 1);

  // Larger than any script: refused before it is read whole.
  WriteFile(dir / "huge.reg", "REGEDIT4\n");
  std::filesystem::resize_file(FsPath(dir / "huge.reg"), (64 << 20) + 1);
  EXPECT_FALSE(updater->ProcessRegFile(dir / "huge.reg"));
  EXPECT_EQ(log.Count("is larger than 67108864 bytes)"), 1) << log.Text();

  InstallProduct(FamilyLayout::Machine21, "testprod", "");
  std::unique_ptr<TSlv2Updater> rootless = TSlv2TestUpdater::Class().Create();
  WriteFile(
      dir / "root.reg",
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Test]\n\"Root\"=\"${PRODUCT_ROOT}\\\\bin\"\n");
  EXPECT_FALSE(rootless->ProcessRegFile(dir / "root.reg"));
  EXPECT_EQ(Value("Root"), "<missing>");
  EXPECT_EQ(log.Count("refers to ${PRODUCT_ROOT}, which is unknown)"), 1) << log.Text();
}

}  // namespace
}  // namespace slv2::test
