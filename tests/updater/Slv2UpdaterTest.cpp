// The updater's run: the fixed order of the steps, the ini lists and
// macros, nested storages that fail, and what fails a product.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "UpdaterFixture.h"

namespace slv2::test {
namespace {

class Slv2UpdaterTest : public UpdaterFixture {};

TEST_F(Slv2UpdaterTest, TheStepsRunInTheirFixedOrder) {
  WriteFile(Join(product, "pack.stg"), CompoundFileBytes(dir, {{"unpacked.txt", "u"}}));
  Run([](StorageWriter& s) {
    s.Add("Delete_After.ini", "[Files]\n1=late.txt\n");
    s.Add("StrReplace_After.ini", "[late]\nSearchFor=a\nReplaceWith=b\nFiles=late.txt\n");
    s.Add("UnpackStorage.ini", "[u]\nStorage=pack.stg\nDestination=.\n");
    s.Add("StrReplace_Before.ini", "[early]\nSearchFor=a\nReplaceWith=b\nFiles=early.txt\n");
    s.Add("Delete_Before.ini", "[Files]\n1=early.txt\n");
    s.Add("files/product/new.txt", "n");
    s.Add("registry/empty.reg", "REGEDIT4\r\n");
  });
  const std::vector<std::string>& lines = log.Lines();
  auto LineOf = [&](std::string_view text) {
    auto it = std::find_if(lines.begin(), lines.end(),
                           [&](const std::string& line) { return line.find(text) != line.npos; });
    return it == lines.end() ? -1 : it - lines.begin();
  };
  std::vector<ptrdiff_t> order = {
      LineOf("DEBUG BeforeExecute"),
      LineOf("Delete_Before: Processing deletion"),
      LineOf("in files by mask \"early.txt\") started"),
      LineOf("UnpackStorage: Operation"),
      LineOf("ProcessFile(): Extracted new"),
      LineOf("ProcessRegistry(): processed 1 registry scripts"),
      LineOf("Delete_After: Processing deletion"),
      LineOf("in files by mask \"late.txt\") started"),
      LineOf("DEBUG AfterExecute"),
  };
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end()) && order.front() == 0) << log.Text();
  EXPECT_EQ(Content(Join(product, "unpacked.txt")), "u");
}

TEST_F(Slv2UpdaterTest, TheIniFilesBecomeTheFiveListsWithMacrosExpanded) {
  std::unique_ptr<TSlv2Updater> updater = Run([](StorageWriter& s) {
    s.Add("Delete_Before.ini", "[Other]\n1=no\n[FILES]\n1=${PRODUCT_ID}\\a\nb\n");
    s.AddCompressed("Delete_After.ini", "[Files]\r\n x = y = z \r\n");
    s.Add("StrReplace_Before.ini",
          "[one]\nsearchfor=${PRODUCT_ID}\nReplaceWith=${SLV21_ROOT}\nIsRegExp=1\n"
          "Files=*.ini\n[one]\nSearchFor=second\n");
    s.Add("UnpackStorage.ini", "[u]\nStorage=${PRODUCT_ID}.stg\nDestination=${UNKNOWN}\n");
  });
  // Deletion entries are taken as written.
  EXPECT_EQ(updater->DeleteBeforeList(), (std::vector<std::string>{"${PRODUCT_ID}\\a", "b"}));
  EXPECT_EQ(updater->DeleteAfterList(), (std::vector<std::string>{"y = z"}));
  const TSlv2StrReplaceList& replace = updater->StrReplaceBeforeList();
  ASSERT_EQ(replace.size(), 2u);
  EXPECT_EQ(replace[0].second.SearchFor, "testprod");
  EXPECT_EQ(replace[0].second.ReplaceWith, Doubled(shell));
  EXPECT_TRUE(replace[0].second.IsRegExp);
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

// A product fails when something its storage asked for was not achieved;
// conditions that leave nothing undone are warnings.
TEST_F(Slv2UpdaterTest, OnlyWorkLeftUndoneFailsTheProduct) {
  struct Row {
    const char* what;
    const char* ini;  // element name
    const char* text;
    bool fails;
  };
  for (const Row& row : {
           Row{"a folder matched by a deletion mask", "Delete_After.ini", "[Files]\r\n1=*.ini\r\n",
               false},
           Row{"a folder matched by a text mask", "StrReplace_After.ini",
               "[r]\r\nSearchFor=a\r\nReplaceWith=b\r\nIsRegExp=0\r\nFiles=*.ini\r\n", false},
           Row{"a read-only file not deleted (no error line)", "Delete_After.ini",
               "[Files]\r\n1=locked.dll\r\n", true},
           Row{"a text not written", "StrReplace_After.ini",
               "[r]\r\nSearchFor=a\r\nReplaceWith=b\r\nIsRegExp=0\r\nFiles=locked.dll\r\n", true},
       }) {
    SCOPED_TRACE(row.what);
    std::filesystem::create_directories(FsPath(Join(product, "dir.ini")));
    WriteFile(Join(product, "locked.dll"), "a");
    MakeReadOnly(Join(product, "locked.dll"));
    std::make_unique<StorageWriter>(storageFile)->Add(row.ini, row.text);
    std::unique_ptr<TSlv2Updater> updater = Make();
    bool failed = false;
    try {
      updater->Update();
    } catch (const ESlvUpdater&) {
      failed = true;
    }
    EXPECT_EQ(failed, row.fails) << log.Text();
    EXPECT_EQ(updater->Warnings().size(), row.fails ? 0u : 1u);
    EXPECT_TRUE(PathExists(Join(product, "dir.ini")));
    MakeReadOnly(Join(product, "locked.dll"), false);
  }
}

// Storages that do not open or lie outside are logged and the run goes on;
// one that opens but does not come out whole ends the product's run.
TEST_F(Slv2UpdaterTest, BadOrHostileNestedStoragesStayAndOnlyAFailedExtractionEndsTheRun) {
  TempDir scratch;
  WriteFile(Join(product, "bad.stg"), "not a compound file");
  WriteFile(Join(product, "hostile.stg"),
            CompoundFileBytes(scratch, {{"a.txt", "a"}, {"../../../evil.txt", "x"}}));
  WriteFile(Join(outside, "pack.stg"), CompoundFileBytes(scratch, {{"evil.txt", "x"}}));
  EXPECT_THROW(Run([](StorageWriter& s) {
                 s.Add("UnpackStorage.ini",
                       "[bad]\nStorage=bad.stg\nDestination=.\n[from]\n"
                       "Storage=..\\..\\outside\\pack.stg\nDestination=.\n"
                       "[to]\nStorage=hostile.stg\nDestination=..\\..\\outside\n"
                       "[hostile]\nStorage=hostile.stg\nDestination=out\n");
                 s.Add("files/product/after.txt", "after");
               }),
               EgmStorage);
  EXPECT_TRUE(PathExists(Join(product, "bad.stg")));
  EXPECT_TRUE(PathExists(Join(product, "hostile.stg")));
  EXPECT_EQ(Entries(outside), (std::vector<std::string>{"pack.stg", "victim.txt"}));
  EXPECT_FALSE(PathExists(dir / "evil.txt"));
  EXPECT_EQ(log.Count("ERROR   UnpackStorage: Error opening storage: EgmStorage ("), 1)
      << log.Text();
  EXPECT_EQ(log.Count("lies outside the product and shell folders, refused"), 2);
  EXPECT_EQ(log.Count("ERROR   UnpackStorage: Error unpacking storage: EgmStorage ("), 1);
  EXPECT_EQ(log.Count("DEBUG UnpackStorage: Operation finished"), 4);
  EXPECT_FALSE(PathExists(Join(product, "after.txt")));
  // The dry run ends where the run ended.
  std::unique_ptr<TSlv2Updater> dry = Make();
  dry->UseEffects(MakeRecordingEffects(dry->Logger(), MakeOverlay()));
  EXPECT_THROW(dry->Execute(), EgmStorage);
}

TEST_F(Slv2UpdaterTest, RegistryScriptsThatCannotBeReadFail) {
  std::unique_ptr<TSlv2Updater> updater = TSlv2TestUpdater::Class().Create();
  EXPECT_FALSE(updater->ProcessRegFile(dir / "missing.reg"));
  EXPECT_EQ(log.Count("ERROR ProcessRegFile() failed: ESlvUpdater (Error reading"), 1);
  // Larger than any script: refused before it is read whole.
  WriteFile(dir / "huge.reg", "REGEDIT4\n");
  std::filesystem::resize_file(FsPath(dir / "huge.reg"), (64 << 20) + 1);
  EXPECT_FALSE(updater->ProcessRegFile(dir / "huge.reg"));
  EXPECT_EQ(log.Count("is larger than 67108864 bytes)"), 1) << log.Text();
}

}  // namespace
}  // namespace slv2::test
