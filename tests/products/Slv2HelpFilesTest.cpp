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
};

TEST_F(Slv2HelpFilesTest, EachDatabaseRemovesItsSubjectsHelpFromTheShellFolder) {
  for (const char* file : {"help/punc1.chi", "help/PUNC_old.CHI", "help/punc.chm",
                           "help/ortho1.chi", "help/sub/punc2.chi", "help/punc3.chi"})
    WriteFile(shell + "/" + file, "x");
  MakeReadOnly(shell + "/help/punc3.chi");
  WriteFile(product + "/help/punc4.chi", "x");
  LogCapture punc("TSlv2PuncDataUpdater"), ortho("TSlv2OrthoDataUpdater");
  TSlv2PuncDataUpdater::Class().Create()->AfterExecute();
  EXPECT_EQ(Entries(shell + "/help"),
            (std::vector<std::string>{"ortho1.chi", "punc.chm", "punc3.chi", "sub"}));
  EXPECT_TRUE(PathExists(shell + "/help/sub/punc2.chi"));
  EXPECT_TRUE(PathExists(product + "/help/punc4.chi"));
  EXPECT_EQ(punc.Lines(),
            (std::vector<std::string>{"DEBUG Specific part of \"punc_data\" update started",
                                      "DEBUG removeOldHelpFiles(): 2 files deleted",
                                      "DEBUG Specific part of \"punc_data\" update finished"}));
  TSlv2OrthoDataUpdater::Class().Create()->AfterExecute();
  TSlv2OrthoDataUpdater::Class().Create()->AfterExecute();
  EXPECT_FALSE(PathExists(shell + "/help/ortho1.chi"));
  EXPECT_TRUE(ortho.Has("DEBUG removeOldHelpFiles(): 1 files deleted")) << ortho.Text();
  EXPECT_TRUE(ortho.Has("WARN removeOldHelpFiles(): no files found for deletion"));

  InstallShell(FamilyLayout::Machine21, "");
  TSlv2PuncDataUpdater::Class().Create()->AfterExecute();
  EXPECT_TRUE(
      punc.Has("ERROR removeOldHelpFiles(): shell folder is unknown, old help files are "
               "kept"));
}

}  // namespace
}  // namespace slv2::test
