// The subject updaters' own work: their media macros from the registry, and
// the clean-ups after their update read from what they recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "FamilyMachine.h"
#include "RecordedOutcomes.h"
#include "products/Slv2OrthoDataUpdater.h"
#include "products/Slv2OrthoUpdater.h"
#include "products/Slv2PuncDataUpdater.h"
#include "products/Slv2PuncUpdater.h"
#include "sys/Cp1251.h"
#include "sys/StrUtil.h"
#include "sys/registry/RegFunctions.h"

namespace slv2::test {
namespace {

using namespace std::string_literals;

class SubjectTest : public ::testing::Test {
 protected:
  SubjectTest() { machine.Install("punctuation"); }
  // The text with {product} and {shell} put in, each "/" as the platform
  // writes it.
  std::string Expand(std::string text) const {
    text = ReplaceAll(text, "/", Join("", ""), false);
    return ReplaceAll(ReplaceAll(text, "{product}", product, false), "{shell}", shell, false);
  }

  FamilyMachine machine;
  const std::string shell = machine.shell, product = machine.Product("punctuation");
  ScopedTempFolder temp{machine.dir / "tmp"};
};

// Orthography: the folder of the media's disk file, from the per-user key
// only. Punctuation: the machine's key first, then the user's; a key without
// its value stops the creation (the machine's here; the user's raises from
// the same registry read). The log says which.
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
      {ortho, reg::kHkeyCurrentUser, "Solvane\\hosts\\ortho_media_sheg01", "Base", "disk.dat", "<none>"},
      {punc, reg::kHkeyLocalMachine, "Solvane 2.1\\other", "Base", "D:\\Media\\Punc", "<none>"},
      {punc, reg::kHkeyCurrentUser, "Solvane\\punctuation", "media", "E:\\Other", "E:\\Other"},
      {punc, reg::kHkeyLocalMachine, "Solvane 2.1\\hosts\\punc_media", "Base", "D:\\Media\\Punc", "D:\\Media\\Punc", true},
      {punc, reg::kHkeyLocalMachine, "Solvane 2.1\\hosts\\punc_media", "Other", "x", nullptr},
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
    LogCapture log(c.type.ClassName());
    if (!c.macro) {
      EXPECT_THROW(c.type.Create(), ERegistryError);
      continue;
    }
    const std::string name = &c.type == &ortho ? "ORTHO_MEDIA" : "PUNC_MEDIA";
    std::string value = "<none>";
    c.type.Create()->FindMacro(name, value);
    EXPECT_EQ(value, c.macro);
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_TRUE(log.Lines()[0].starts_with(value == "<none>" ? "ERROR " : "DEBUG ")) << log.Text();
    EXPECT_TRUE(log.Count(value == "<none>" ? "(): didnt found registry info for value of " + name
                                            : "(): added macro " + name + "=" + value));
  }
}

// The clean-ups after the update. Punctuation keeps only programs, storages
// and ini files in its bin, data and settings folders (below them too) and
// in its root folder (not below), and removes the data folder once empty;
// each subject database removes the shell's old help files of its subject
// (the mask's folder only, whatever the letter case). An unknown folder
// would be the drive's root: nothing is done there.
TEST_F(SubjectTest, CleanUps) {
  const TSlv2UpdaterClass& punc = TSlv2PuncUpdater::Class();
  struct Case {
    const TSlv2UpdaterClass& type;
    bool executing;
    const char* unknown;  // the folder made unknown
    const char *lines, *recorded;
  } cases[] = {
      // clang-format off
      {punc, true, "",
       "DEBUG removeOldFiles({product}/bin, true): 2 files deleted\n"
       "DEBUG removeOldFiles({product}/data, true): 1 files deleted\n"
       "WARN removeOldFiles({product}/settings, true): no files found for deletion\n"
       "DEBUG removeOldFiles({product}, false): 1 files deleted",
       "delete {product}/bin/d.dll\ndelete {product}/bin/sub/e.txt\ndelete {product}/data/x.dat\ndelete {product}/root.txt"},
      {TSlv2PuncDataUpdater::Class(), false, "", "DEBUG removeOldHelpFiles(): 2 files deleted", "delete {shell}/help\\PUNC_old.CHI\ndelete {shell}/help\\punc1.chi"},
      {TSlv2OrthoDataUpdater::Class(), false, "", "WARN removeOldHelpFiles(): no files found for deletion", ""},
      {punc, false, "product", "ERROR removeOldFiles(): product folder is unknown, old files are kept", ""},
      {TSlv2PuncDataUpdater::Class(), false, "shell", "ERROR removeOldHelpFiles(): shell folder is unknown, old help files are kept", ""},
      // clang-format on
  };
  for (const char* file :
       {"bin/a.exe", "bin/B.STG", "bin/c.ini", "bin/d.dll", "bin/sub/e.txt", "data/x.dat",
        "root.txt", "punctuation.exe", "media/clip.avi", "help/punc1.chi", "../help/punc1.chi",
        "../help/PUNC_old.CHI", "../help/punc.chm", "../help/sub/punc2.chi"})
    WriteFile(Join(product, file), "x");
  std::filesystem::create_directories(AnsiToUtf8(Join(product, "settings/empty")));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    if (c.unknown == "product"s) InstallProduct(FamilyLayout::Machine21, "punctuation", "");
    if (c.unknown == "shell"s) InstallShell(FamilyLayout::Machine21, "");
    LogCapture log(c.type.ClassName());
    std::unique_ptr<TSlv2Updater> updater = c.type.Create();
    if (!c.executing) RecordOnly(*updater);
    log.Clear();
    updater->AfterExecute();
    const std::string part = "DEBUG Specific part of \"" + c.type.GetStorageName() + "\" update ";
    EXPECT_EQ(Text(log.Lines()), part + "started\n" + Expand(c.lines) + "\n" + part + "finished");
    std::vector<std::string> recorded = Recorded(*updater);
    std::sort(recorded.begin(), recorded.end());
    EXPECT_EQ(Text(recorded), Expand(c.recorded));
  }
  // Only the emptied data folder went, which no record shows.
  EXPECT_FALSE(PathExists(Join(product, "data")));
  EXPECT_TRUE(PathExists(Join(product, "settings/empty")));
}

}  // namespace
}  // namespace slv2::test
