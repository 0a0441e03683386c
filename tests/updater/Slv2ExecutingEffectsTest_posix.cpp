// What the executing effects do on Linux alone. A folder moves without the
// links planted in it. A replacement is a rename: a
// reader of the old file keeps reading the old content (Windows refuses to
// rename over a file open without delete sharing, which the C++ streams do
// not grant), and the replaced file keeps its owner (Windows has no owners to
// give away). Registry scripts are imported by the real regedit into the
// test's registry, a database it opens too (regedit.exe writes the machine's
// registry, not the one the test process sees).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "UpdaterFixture.h"
#include "sys/Cp1251.h"
#include "sys/registry/RegFunctions.h"

namespace slv2::test {
namespace {

class ExecutingEffectsPosixTest : public UpdaterFixture {};

TEST_F(ExecutingEffectsPosixTest, AReaderOfTheOldFileKeepsReadingItsContent) {
  std::string target = Join(product, "bin/lib.dll");
  WriteFile(target, "old content");
  MakeReadOnly(target);
  // The new file was written beside the old one and renamed over it, never
  // written in place.
  std::ifstream reader(FsPath(target), std::ios::binary);
  Run({{"files/product/bin/lib.dll", "new content"}});
  EXPECT_EQ(ReadFile(target), "new content");
  std::string old((std::istreambuf_iterator<char>(reader)), std::istreambuf_iterator<char>());
  EXPECT_EQ(old, "old content");
}

// A replaced file keeps its owner and group whichever way it was replaced:
// new content placed, or a prepared copy renamed over it (as a difference,
// a merge and a text edit all do) (root only: nobody else may give a file
// away).
TEST_F(ExecutingEffectsPosixTest, EveryKindOfReplacementKeepsTheOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  struct Row {
    const char* kind;
    std::string installed;
    Streams elements;
  };
  for (const Row& row : {
           Row{"replaced", "old", {{"files/product/f", "new"}}},
           Row{"text edited",
               "old",
               {{"StrReplace_After.ini", "[r]\nSearchFor=old\nReplaceWith=new\nFiles=f\n"}}},
       }) {
    SCOPED_TRACE(row.kind);
    std::string target = Join(product, "f");
    WriteFile(target, row.installed);
    ASSERT_EQ(::chown(AnsiToUtf8(target).c_str(), 4321, 8765), 0);
    log.Clear();
    Run(row.elements);
    EXPECT_NE(ReadFile(target), row.installed) << log.Text();
    struct stat st;
    ASSERT_EQ(::stat(AnsiToUtf8(target).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 8765u);
  }
}

// The scripts are imported as expanded: the macro values doubled within
// script strings, a script in UTF-8 handed on whole. Which scripts a run
// imports, and past one that fails, is the dry run's decision table's.
TEST_F(ExecutingEffectsPosixTest, ScriptsAreImportedAsExpanded) {
  const std::string key = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n";
  machine.Pack("testprod",
               {{"registry/1.reg", CompressedElement(key + "\"Data\"=\"${WIN}\\\\data\"\r\n")},
                {"registry/3.reg", "\xEF\xBB\xBF" + key + "\"Name\"=\"Словарь\"\r\n"}});
  std::unique_ptr<TSlv2Updater> updater = Make();
  updater->AddMacro("WIN", "C:\\Programs\\Family");
  updater->Execute();
  auto value = [](const char* name) {
    return RegReadStringDef(reg::kHkeyLocalMachine, "\\Software\\Test", name, "<missing>");
  };
  // Doubled by the expansion, as script strings want, and undoubled by the import.
  EXPECT_EQ(value("Data"), "C:\\Programs\\Family\\data");
  EXPECT_EQ(value("Name"), A("Словарь")) << log.Text();
  ExpectNoTempFiles(product);
}

// The shell's program group moves whole; a link planted in it is listed and
// left out.
TEST_F(ExecutingEffectsPosixTest, AFolderMovesWithEverythingButItsLinks) {
  const std::string from = dir / "old group", to = dir / "new group";
  WriteFile(from + "/a.lnk", "a");
  WriteFile(from + "/sub/b.lnk", "b");
  PlantPupilLink(Join(outside, "victim.txt"), from + "/planted.lnk");
  std::unique_ptr<TSlv2Effects> effects = MakeExecutingEffects(log.Category());
  std::vector<std::string> links;
  EXPECT_TRUE(effects->MoveFolder(from, to, links, {TSlv2OutcomeKind::Shell, from}));
  EXPECT_EQ(TreeSnapshot(to), (Tree{{"a.lnk", "a"}, {"sub/b.lnk", "b"}}));
  EXPECT_FALSE(PathExists(from));
  EXPECT_EQ(links, std::vector<std::string>{from + "/planted.lnk"});
  ExpectOutsideUntouched();
}

}  // namespace
}  // namespace slv2::test
