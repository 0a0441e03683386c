// The subject updaters' own work: their media macros from the registry, and
// the clean-ups after their update read from what they recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "ProductFixture.h"
#include "products/Slv2OrthoDataUpdater.h"
#include "products/Slv2OrthoUpdater.h"
#include "products/Slv2PuncDataUpdater.h"
#include "products/Slv2PuncUpdater.h"
#include "sys/Cp1251.h"
#include "sys/registry/RegFunctions.h"

namespace slv2::test {
namespace {

using Lines = std::vector<std::string>;

Lines Sorted(Lines lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

class SubjectTest : public ProductFixture {
 protected:
  SubjectTest() : ProductFixture("punctuation") {}
};

// Orthography: the folder of the media's disk file, from the per-user key
// only. Punctuation: the machine's key first, then the user's; a key without
// its value stops the creation. The log says which.
TEST_F(SubjectTest, MediaMacros) {
  const TSlv2UpdaterClass &ortho = TSlv2OrthoUpdater::Class(), &punc = TSlv2PuncUpdater::Class();
  struct Case {
    const TSlv2UpdaterClass& type;
    reg::HKey root;
    const char *key, *name, *value;  // in "\Software\Zarvik\"
    const char* macro;               // nullptr: the creation raises
    bool userMediaToo = false;       // the user's punctuation media as well
  } cases[] = {
      // clang-format off
      {ortho, reg::kHkeyLocalMachine, "Solvane 2.1\\hosts\\ortho_media_sheg01", "Base", "D:\\disk.dat", "<none>"},
      {ortho, reg::kHkeyCurrentUser, "Solvane\\hosts\\ortho_media_sheg01", "Base", "D:\\Media\\Ortho\\disk.dat", "D:\\Media\\Ortho"},
      {ortho, reg::kHkeyCurrentUser, "Solvane\\hosts\\ortho_media_sheg01", "Base", "D:\\Media\\Ortho\\", "D:\\Media\\Ortho"},
      {ortho, reg::kHkeyCurrentUser, "Solvane\\hosts\\ortho_media_sheg01", "Base", "X:\\disk.dat", "X"},
      {ortho, reg::kHkeyCurrentUser, "Solvane\\hosts\\ortho_media_sheg01", "Base", "/media/cdrom/disk.dat", "/media/cdrom"},
      {ortho, reg::kHkeyCurrentUser, "Solvane\\hosts\\ortho_media_sheg01", "Base", "disk.dat", "<none>"},
      {punc, reg::kHkeyLocalMachine, "Solvane 2.1\\other", "Base", "D:\\Media\\Punc", "<none>"},
      {punc, reg::kHkeyCurrentUser, "Solvane\\punctuation", "media", "E:\\Other", "E:\\Other"},
      {punc, reg::kHkeyLocalMachine, "Solvane 2.1\\hosts\\punc_media", "Base", "D:\\Media\\Punc", "D:\\Media\\Punc", true},
      {punc, reg::kHkeyLocalMachine, "Solvane 2.1\\hosts\\punc_media", "Other", "x", nullptr},
      {punc, reg::kHkeyCurrentUser, "Solvane\\punctuation", "root", "x", nullptr},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " " + c.value);
    TempRegistry fresh;
    InstallShell(FamilyLayout::Machine21, shell);
    InstallProduct(FamilyLayout::Machine21, c.type.GetProductId(), c.type.GetProductId());
    RegWriteString(c.root, std::string("\\Software\\Zarvik\\") + c.key, c.name, c.value);
    if (c.userMediaToo)
      RegWriteString(reg::kHkeyCurrentUser, "\\Software\\Zarvik\\Solvane\\punctuation", "media",
                     "E:\\Other");
    const std::string name = &c.type == &ortho ? "ORTHO_MEDIA" : "PUNC_MEDIA";
    const std::string step = &c.type == &ortho ? "addOrthoMediaMacro" : "addPuncMediaMacro";
    LogCapture log(c.type.ClassName());
    if (!c.macro) {
      EXPECT_THROW(c.type.Create(), ERegistryError);
      continue;
    }
    std::string value = "<none>";
    c.type.Create()->FindMacro(name, value);
    EXPECT_EQ(value, c.macro);
    EXPECT_EQ(
        log.Lines(),
        Lines{value == "<none>" ? "ERROR " + step + "(): didnt found registry info for value of " +
                                      name + " macro"
                                : "DEBUG " + step + "(): added macro " + name + "=" + c.macro});
  }
}

// Punctuation keeps only programs, storages and ini files in its bin, data
// and settings folders (below them too) and in its root folder (not below),
// and removes the data folder once it is empty; the same decisions in a dry
// run and a real one.
TEST_F(SubjectTest, PuncRemovesOldFilesButProgramsStoragesAndIniFiles) {
  for (const char* file : {"bin/a.exe", "bin/B.STG", "bin/c.ini", "bin/d.dll", "bin/sub/e.txt",
                           "data/x.dat", "root.txt", "punctuation.exe", "media/clip.avi"})
    WriteFile(Join(product, file), "x");
  std::filesystem::create_directories(AnsiToUtf8(Join(product, "settings/empty")));
  const Lines lines = {
      "DEBUG Specific part of \"punctuation\" update started",
      "DEBUG removeOldFiles(" + Join(product, "bin") + ", true): 2 files deleted",
      "DEBUG removeOldFiles(" + Join(product, "data") + ", true): 1 files deleted",
      "WARN removeOldFiles(" + Join(product, "settings") + ", true): no files found for deletion",
      "DEBUG removeOldFiles(" + product + ", false): 1 files deleted",
      "DEBUG Specific part of \"punctuation\" update finished"};
  Lines recorded;
  for (const char* file : {"bin/d.dll", "bin/sub/e.txt", "data/x.dat", "root.txt"})
    recorded.push_back("delete " + Join(product, file));
  LogCapture log("TSlv2PuncUpdater");
  for (bool executing : {false, true}) {
    SCOPED_TRACE(executing);
    std::unique_ptr<TSlv2Updater> updater = TSlv2PuncUpdater::Class().Create();
    if (!executing) RecordOnly(*updater);
    log.Clear();
    updater->AfterExecute();
    EXPECT_EQ(log.Lines(), lines);
    EXPECT_EQ(Sorted(Recorded(*updater)), Sorted(recorded));
  }
  EXPECT_EQ(Entries(Join(product, "bin")), (Lines{"B.STG", "a.exe", "c.ini", "sub"}));
  EXPECT_FALSE(PathExists(Join(product, "data")));
  EXPECT_TRUE(PathExists(Join(product, "settings/empty")));
  EXPECT_TRUE(PathExists(Join(product, "media/clip.avi")));

  // Without its product folder the clean-up would start at the drive root.
  InstallProduct(FamilyLayout::Machine21, "punctuation", "");
  TSlv2PuncUpdater::Class().Create()->AfterExecute();
  EXPECT_TRUE(log.Has("ERROR removeOldFiles(): product folder is unknown, old files are kept"));
}

// Each subject database removes the shell's old help files of its subject
// (the mask's folder only, whatever the letter case); an unknown shell folder
// keeps them.
TEST_F(SubjectTest, DatabasesRemoveTheirSubjectsOldHelpFromTheShellFolder) {
  const Lines files = {"help/punc1.chi", "help/PUNC_old.CHI", "help/punc.chm", "help/sub/punc2.chi",
                       "punctuation/help/punc3.chi"};
  struct Case {
    const TSlv2UpdaterClass& type;
    bool shellKnown;
    Lines deleted;  // from the help folder, named as the mask names it
    const char* line;
  } cases[] = {
      {TSlv2PuncDataUpdater::Class(),
       true,
       {"punc1.chi", "PUNC_old.CHI"},
       "DEBUG removeOldHelpFiles(): 2 files deleted"},
      {TSlv2OrthoDataUpdater::Class(),
       true,
       {},
       "WARN removeOldHelpFiles(): no files found for deletion"},
      {TSlv2PuncDataUpdater::Class(),
       false,
       {},
       "ERROR removeOldHelpFiles(): shell folder is unknown, old help files are kept"},
  };
  for (const std::string& file : files)
    WriteFile(Join(shell, file), "x");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type.ClassName());
    InstallShell(FamilyLayout::Machine21, c.shellKnown ? shell : "");
    InstallProduct(FamilyLayout::Machine21, c.type.GetProductId(), "punctuation");
    std::unique_ptr<TSlv2Updater> updater = c.type.Create();
    RecordOnly(*updater);
    LogCapture log(c.type.ClassName());
    updater->AfterExecute();
    EXPECT_TRUE(log.Has(c.line)) << log.Text();
    Lines recorded;
    for (const std::string& file : c.deleted)
      recorded.push_back("delete " + Join(shell, "") + "help\\" + file);
    EXPECT_EQ(Sorted(Recorded(*updater)), Sorted(recorded));
  }
}

}  // namespace
}  // namespace slv2::test
