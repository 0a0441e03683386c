// The updater's run: the family and its products located in the registry's
// three layouts, the ini reader and the lists it gives, macros, whether a
// named path stays inside its folder, nested storages that fail, and what
// fails a product.
#include <gtest/gtest.h>

#include <filesystem>

#include "UpdaterFixture.h"
#include "sys/registry/RegFunctions.h"
#include "updater/Slv2IniFile.h"
#include "updater/Slv2Lists.h"
#include "updater/Slv2Paths.h"

namespace slv2::test {
namespace {

using Lines = std::vector<std::string>;

TEST(Slv2HelperTest, EachLayoutGivesItsKeysAndFolders) {
  struct Case {
    FamilyLayout layout;
    reg::HKey familyRoot, productRoot;
    const char* familyKey;
    const char* productKey;
  };
  const Case cases[] = {
      {FamilyLayout::Machine21, reg::kHkeyLocalMachine, reg::kHkeyLocalMachine,
       "\\Software\\Zarvik\\Solvane 2.1", "\\Software\\Zarvik\\Solvane 2.1\\punctuation"},
      {FamilyLayout::User20, reg::kHkeyCurrentUser, reg::kHkeyCurrentUser,
       "\\Software\\Zarvik\\Solvane", "\\Software\\Zarvik\\Solvane\\punctuation"},
      // The 2.1 key gives the shell; the product is found per user.
      {FamilyLayout::Mixed, reg::kHkeyLocalMachine, reg::kHkeyCurrentUser,
       "\\Software\\Zarvik\\Solvane 2.1", "\\Software\\Zarvik\\Solvane\\punctuation"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.layout));
    TempRegistry registry;
    EXPECT_FALSE(TSlv2Helper::IsFamilyInstalled());
    InstallShell(c.layout, "C:\\Programs\\Family");
    InstallProduct(c.layout, "punctuation", "punctuation");
    reg::HKey root = 0;
    std::string key;
    ASSERT_TRUE(TSlv2Helper::FindFamilyKey(root, key));
    EXPECT_EQ(std::make_pair(root, key), std::make_pair(c.familyRoot, std::string(c.familyKey)));
    ASSERT_TRUE(TSlv2Helper::FindProductKey("punctuation", root, key));
    EXPECT_EQ(std::make_pair(root, key), std::make_pair(c.productRoot, std::string(c.productKey)));
    EXPECT_FALSE(TSlv2Helper::IsProductInstalled("orthography"));
    EXPECT_EQ(TSlv2Helper::GetSlv21Root(), "C:\\Programs\\Family");
    EXPECT_EQ(TSlv2Helper::GetProductRoot("punctuation"), "C:\\Programs\\Family\\punctuation");
  }
}

TEST(Slv2HelperTest, ProductRootValuesAndAnUnknownShellFolder) {
  TempRegistry registry;
  InstallShell(FamilyLayout::Machine21, "C:\\Programs\\Family");
  // A relative value is joined to the shell folder (how a join resolves its
  // dots is the file utility's); a full one is taken as it is.
  for (auto [id, value] : {std::pair{"other", "..\\other"},
                           {"empty", ""},
                           {"elsewhere", "Z:\\Other\\.\\Product"},
                           {"shared", "\\\\srv\\share\\Product"}})
    InstallProduct(FamilyLayout::Machine21, id, value);
  EXPECT_EQ(TSlv2Helper::GetProductRoot("other"), "C:\\Programs\\other");
  EXPECT_EQ(TSlv2Helper::GetProductRoot("empty"), "");
  EXPECT_TRUE(TSlv2Helper::IsProductInstalled("empty"));
  // A full path, as the shell's own key holds, is taken as it is.
  EXPECT_EQ(TSlv2Helper::GetProductRoot("main"), "C:\\Programs\\Family");
  EXPECT_EQ(TSlv2Helper::GetProductRoot("elsewhere"), "Z:\\Other\\Product");
  EXPECT_EQ(TSlv2Helper::GetProductRoot("shared"), "\\\\srv\\share\\Product");

  // Without the shell folder no product has a folder (installed as it is:
  // whether a product is installed reads no folder).
  InstallShell(FamilyLayout::Machine21, "");
  EXPECT_EQ(TSlv2Helper::GetProductRoot("other"), "");
}

TEST(SplitTextLinesTest, EveryLineEndAndTheZeroByte) {
  EXPECT_EQ(SplitTextLines("a\r\nb\nc\rd\n\ne\r\n"), (Lines{"a", "b", "c", "d", "", "e"}));
  EXPECT_EQ(SplitTextLines(std::string("a\nb\0c\nd", 7)), (Lines{"a", "b"}));
}

TEST(TSlv2IniFileTest, SectionsLinesAndValues) {
  TSlv2IniFile ini;
  ASSERT_TRUE(
      ini.SetText("before=ignored\n; comment\n  [ First ]  \n key = value = more \n\njust a line\n"
                  "[second]\r\nKey=2\r\nkey=3\r\n"));
  ASSERT_EQ(ini.Sections().size(), 2u);
  const TSlv2IniFile::Section& first = ini.Sections()[0];
  EXPECT_EQ(first.Name, "First");
  EXPECT_EQ(first.Lines, (Lines{"key=value = more", "just a line"}));
  EXPECT_EQ(first.ReadString("just a line", "def"), "def");
  EXPECT_EQ(ini.FindSection("SECOND")->ReadString("KEY"), "2");
  // Brackets alone open a section without a name.
  ASSERT_TRUE(ini.SetText("[]\nk=v\n"));
  EXPECT_EQ(ini.FindSection("")->Lines, Lines{"k=v"});
  EXPECT_FALSE(ini.SetText(""));
  EXPECT_TRUE(ini.Sections().empty());
  // What many editors write: UTF-8 behind its byte-order mark.
  ASSERT_TRUE(ini.SetText("\xEF\xBB\xBF; first\r\n[Files]\r\nSearchFor=Заголовок\r\n"));
  EXPECT_EQ(ini.FindSection("Files")->Lines, Lines{A("SearchFor=Заголовок")});
}

TEST(ParseIniBoolTest, OnlyTheFalseWordsAreFalse) {
  for (std::string value :
       {std::string(), std::string("False"), std::string("fALSE"), std::string("0"), A("Ложь")})
    EXPECT_FALSE(ParseIniBool(value)) << value;
  // Only Latin letters fold; nothing else is false.
  for (std::string value :
       {A("ЛОЖЬ"), std::string("no"), std::string("Yes"), std::string("00"), std::string(" 0")})
    EXPECT_TRUE(ParseIniBool(value)) << value;
}

class Slv2UpdaterTest : public UpdaterFixture {};

TEST_F(Slv2UpdaterTest, TheIniFilesBecomeTheFiveListsWithMacrosExpanded) {
  std::unique_ptr<TSlv2Updater> updater =
      Run({{"Delete_Before.ini", "[Other]\n1=no\n[FILES]\n1=${PRODUCT_ID}\\a\nb\n"},
           {"Delete_After.ini", CompressedElement("[Files]\r\n x = y = z \r\n")},
           {"StrReplace_Before.ini",
            "[one]\nsearchfor=${PRODUCT_ID}\nReplaceWith=${SLV21_ROOT}\nIsRegExp=1\n"
            "Files=*.ini\n[one]\nSearchFor=second\n"},
           {"UnpackStorage.ini", "[u]\nStorage=${PRODUCT_ID}.stg\nDestination=${UNKNOWN}\n"}});
  // Deletion entries are taken as written.
  EXPECT_EQ(updater->DeleteBeforeList(), (std::vector<std::string>{"${PRODUCT_ID}\\a", "b"}));
  EXPECT_EQ(updater->DeleteAfterList(), (std::vector<std::string>{"y = z"}));
  const TSlv2StrReplaceList& replace = updater->StrReplaceBeforeList();
  ASSERT_EQ(replace.size(), 2u);
  EXPECT_EQ(replace[0].second.SearchFor, "testprod");
  EXPECT_EQ(replace[0].second.ReplaceWith, Doubled(shell));
  // Two sections of one name are two replacements, each with its values.
  EXPECT_EQ(replace[1].second.SearchFor, "second");
  ASSERT_EQ(updater->UnpackStorageList().size(), 1u);
  EXPECT_EQ(updater->UnpackStorageList()[0].second.Storage, "testprod.stg");
  EXPECT_EQ(updater->UnpackStorageList()[0].second.Destination, "${UNKNOWN}");

  StorageWriter{dir / "pkg/other.stg"};
  updater->SetStorageFileName(dir / "pkg/other.stg");
  updater->Execute();
  EXPECT_TRUE(updater->DeleteBeforeList().empty());
  EXPECT_TRUE(updater->StrReplaceBeforeList().empty());
}

// Components compare as AnsiSameText does (Cyrillic letters too) after the
// paths are normalized (trailing delimiters and dots, FileUtilTest).
TEST(PathWithinTest, ComponentsCompareIgnoringCaseInEitherForm) {
  EXPECT_TRUE(PathWithin("/opt/z/p", "/opt/Z/P/./bin/../a.dll", false));
  EXPECT_TRUE(PathWithin("C:\\Programs\\Family", "c:/programs/family/Bin/a.dll", false));
  EXPECT_TRUE(PathWithin("\\\\srv\\share\\f", "\\\\SRV\\share\\f\\a", false));
  EXPECT_TRUE(PathWithin("/opt/z/p", "/opt/z/p/.", true));
  EXPECT_FALSE(PathWithin("/opt/z/p", "/opt/z/p", false));
  // Climbing out, a neighbour (as another drive is) and other forms (a
  // relative path, a network one) are outside.
  EXPECT_FALSE(PathWithin("C:\\P\\F", "C:\\P\\F\\..\\..\\a.dll", false));
  EXPECT_FALSE(PathWithin("/opt/z/p", "/opt/z/pp/a.dll", false));
  EXPECT_FALSE(PathWithin("/opt/z/p", "opt/z/p/a", false));
  EXPECT_FALSE(PathWithin("/opt/z/p", "//opt/z/p/a", false));
  EXPECT_FALSE(PathWithin("", "anything", true));
}

TEST_F(Slv2UpdaterTest, MacrosExpandLeftToRightWithTheBackslashRule) {
  std::unique_ptr<TSlv2Updater> updater = TSlv2TestUpdater::Class().Create();
  updater->AddMacro("WIN", "C:\\Programs\\Family");
  updater->AddMacro("DOUBLED", "C:\\\\Programs\\\\Family");
  updater->AddMacro("NESTED", "${PRODUCT_ID}");
  updater->AddMacro("Case", "first");
  updater->AddMacro("Case", "second");
  bool found = false;
  EXPECT_EQ(updater->ExpandMacros("${WIN}\\data;${DOUBLED}", &found),
            "C:\\\\Programs\\\\Family\\data;C:\\\\Programs\\\\Family");
  EXPECT_TRUE(found);
  EXPECT_EQ(updater->ExpandMacros("${NESTED}${PRODUCT_ID}${Case}${CASE}${}|${PRODUCT_ROOT}"),
            "${PRODUCT_ID}testprodsecond${CASE}${}|" + Doubled(product));
  EXPECT_EQ(updater->ExpandMacros("plain $ { } text", &found), "plain $ { } text");
  EXPECT_FALSE(found);
  EXPECT_EQ(updater->ResolveMacro("A\\B"), "${A\\\\B}");
}

// A product fails when something its storage asked for was not achieved,
// with its first error as one line; conditions that leave nothing undone are
// warnings.
TEST_F(Slv2UpdaterTest, OnlyWorkLeftUndoneFailsTheProduct) {
  struct Row {
    const char* what;
    const char* ini;  // element name
    const char* text;
    const char* failure;  // a part of the product's error, "": none
  };
  for (const Row& row : {
           Row{"a folder matched by a deletion mask", "Delete_After.ini", "[Files]\r\n1=*.ini\r\n",
               ""},
           Row{"a folder matched by a text mask", "StrReplace_After.ini",
               "[r]\r\nSearchFor=a\r\nReplaceWith=b\r\nIsRegExp=0\r\nFiles=*.ini\r\n", ""},
           Row{"a read-only file not deleted (no error line)", "Delete_After.ini",
               "[Files]\r\n1=locked.dll\r\n", "locked.dll\" not done: "},
           Row{"a text not written", "StrReplace_After.ini",
               "[r]\r\nSearchFor=a\r\nReplaceWith=b\r\nIsRegExp=0\r\nFiles=locked.dll\r\n",
               "1 error in the detailed log: StrReplace: Error writing file \""},
       }) {
    SCOPED_TRACE(row.what);
    std::filesystem::create_directories(FsPath(Join(product, "dir.ini")));
    WriteFile(Join(product, "locked.dll"), "a");
    MakeReadOnly(Join(product, "locked.dll"));
    machine.Pack("testprod", {{row.ini, row.text}});
    std::unique_ptr<TSlv2Updater> updater = Make();
    std::string failure;
    try {
      updater->Update();
    } catch (const ESlvUpdater& e) {
      failure = e.what();
    }
    EXPECT_EQ(failure.empty(), !*row.failure) << log.Text();
    EXPECT_NE(failure.find(row.failure), std::string::npos) << failure;
    EXPECT_EQ(updater->Warnings().size(), *row.failure ? 0u : 1u);
    MakeReadOnly(Join(product, "locked.dll"), false);
  }
}

// A nested storage that opens but does not come out whole (here a name
// leading outside its destination) ends the product's run, in the dry run
// too.
TEST_F(Slv2UpdaterTest, AStorageThatDoesNotComeOutWholeEndsTheRun) {
  WriteFile(Join(product, "hostile.stg"),
            CompoundFileBytes(dir, {{"a.txt", "a"}, {"../../../evil.txt", "x"}}));
  const Streams streams = {{"UnpackStorage.ini", "[h]\nStorage=hostile.stg\nDestination=out\n"},
                           {"files/product/after.txt", "after"}};
  for (bool dry : {false, true})
    EXPECT_THROW(Run(streams, dry), EgmStorage);
  EXPECT_TRUE(PathExists(Join(product, "hostile.stg")));
  EXPECT_FALSE(PathExists(Join(product, "after.txt")));
  EXPECT_EQ(log.Count("ERROR   UnpackStorage: Error unpacking storage: EgmStorage ("), 2)
      << log.Text();
  ExpectOutsideUntouched();
}

TEST_F(Slv2UpdaterTest, ARegistryScriptLargerThanAnyIsRefused) {
  std::unique_ptr<TSlv2Updater> updater = TSlv2TestUpdater::Class().Create();
  // Larger than any script: refused before it is read whole.
  WriteFile(dir / "huge.reg", "REGEDIT4\n");
  std::filesystem::resize_file(FsPath(dir / "huge.reg"), (64 << 20) + 1);
  EXPECT_FALSE(updater->ProcessRegFile(dir / "huge.reg"));
  EXPECT_EQ(log.Count("is larger than 67108864 bytes)"), 1) << log.Text();
}

}  // namespace
}  // namespace slv2::test
