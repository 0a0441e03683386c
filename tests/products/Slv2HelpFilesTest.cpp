// The subject databases' clean-up of the shell's old help files.
#include <gtest/gtest.h>

#include "ProductFixture.h"
#include "products/Slv2OrthoDataUpdater.h"
#include "products/Slv2PuncDataUpdater.h"

namespace slv2::test {
namespace {

class Slv2HelpFilesTest : public ProductFixture {
 protected:
  Slv2HelpFilesTest() : ProductFixture("punctuation") {
    InstallProduct(FamilyLayout::Machine21, "orthography", "orthography");
  }
  void Run(const TSlv2UpdaterClass& type) {
    StorageWriter(dir / ("pkg/" + type.GetStorageName() + ".stg")).AddStorage("files");
    std::unique_ptr<TSlv2Updater> updater = type.Create();
    updater->SetStorageFileName(dir / ("pkg/" + type.GetStorageName() + ".stg"));
    updater->Execute();
  }
};

TEST_F(Slv2HelpFilesTest, EachDatabaseRemovesItsSubjectsHelpFromTheShellFolder) {
  for (const char* file : {"help/punc1.chi", "help/PUNC_old.CHI", "help/punc.chm",
                           "help/ortho1.chi", "help/sub/punc2.chi"}) {
    WriteFile(shell + "/" + file, "x");
  }
  WriteFile(product + "/help/punc3.chi", "x");
  LogCapture punc("TSlv2PuncDataUpdater"), ortho("TSlv2OrthoDataUpdater");
  Run(TSlv2PuncDataUpdater::Class());
  EXPECT_EQ(Entries(shell + "/help"), (std::vector<std::string>{"ortho1.chi", "punc.chm", "sub"}));
  EXPECT_TRUE(PathExists(shell + "/help/sub/punc2.chi"));
  EXPECT_TRUE(PathExists(product + "/help/punc3.chi"));
  for (const char* line : {"DEBUG Specific part of \"punc_data\" update started",
                           "DEBUG removeOldHelpFiles(): 2 files deleted",
                           "DEBUG Specific part of \"punc_data\" update finished"}) {
    EXPECT_TRUE(punc.Has(line)) << line << "\n" << punc.Text();
  }
  Run(TSlv2OrthoDataUpdater::Class());
  EXPECT_FALSE(PathExists(shell + "/help/ortho1.chi"));
  EXPECT_TRUE(ortho.Has("DEBUG removeOldHelpFiles(): 1 files deleted")) << ortho.Text();
  Run(TSlv2OrthoDataUpdater::Class());
  EXPECT_TRUE(ortho.Has("WARN removeOldHelpFiles(): no files found for deletion"));
}

TEST_F(Slv2HelpFilesTest, ReadOnlyHelpFilesStayUncounted) {
  WriteFile(shell + "/help/punc1.chi", "x");
  WriteFile(shell + "/help/punc2.chi", "x");
  MakeReadOnly(shell + "/help/punc2.chi");
  LogCapture punc("TSlv2PuncDataUpdater");
  Run(TSlv2PuncDataUpdater::Class());
  EXPECT_TRUE(PathExists(shell + "/help/punc2.chi"));
  EXPECT_TRUE(punc.Has("DEBUG removeOldHelpFiles(): 1 files deleted")) << punc.Text();
}

TEST_F(Slv2HelpFilesTest, AnUnknownShellFolderKeepsEverything) {
  InstallShell(FamilyLayout::Machine21, "");
  LogCapture punc("TSlv2PuncDataUpdater");
  Run(TSlv2PuncDataUpdater::Class());
  EXPECT_TRUE(
      punc.Has("ERROR removeOldHelpFiles(): shell folder is unknown, old help files are "
               "kept"))
      << punc.Text();
}

}  // namespace
}  // namespace slv2::test
