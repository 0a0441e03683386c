// The updater's life: creation, its storage, the run with its fixed order of
// steps, the ini lists and the macros; and whole runs on hostile storages.
#include <gtest/gtest.h>

#include "UpdaterFixture.h"
#include "sys/Cp1251.h"
#include "updater/Slv2IniFile.h"

namespace slv2::test {
namespace {

class Slv2UpdaterTest : public UpdaterFixture {
 protected:
  // The position of the first line holding the text, or -1.
  int LineOf(std::string_view text) const {
    const std::vector<std::string>& lines = log.Lines();
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i].find(text) != std::string::npos) return static_cast<int>(i);
    return -1;
  }
};

TEST_F(Slv2UpdaterTest, CreationFindsTheFoldersAndIdentity) {
  std::unique_ptr<TSlv2Updater> updater = TSlv2TestUpdater::Class().Create();
  EXPECT_EQ(updater->Slv21Root(), shell);
  EXPECT_EQ(updater->ProductRoot(), product);
  EXPECT_EQ(updater->GetProductId(), "testprod");
  EXPECT_EQ(updater->GetStorageName(), "testprod");
  EXPECT_EQ(&updater->UpdaterClass(), &TSlv2TestUpdater::Class());
  EXPECT_EQ(updater->Storage(), nullptr);
  EXPECT_EQ(&updater->Logger(), &TSlv2TestUpdater::Class().Create()->Logger());
  EXPECT_EQ(updater->Logger().Name(), "TSlv2TestUpdater");
}

TEST_F(Slv2UpdaterTest, TheStorageIsOpenedOncePerName) {
  { StorageWriter writer(storageFile); }
  std::unique_ptr<TSlv2Updater> updater = TSlv2TestUpdater::Class().Create();
  updater->SetStorageFileName(storageFile);
  TgmStorage* first = updater->Storage();
  ASSERT_NE(first, nullptr);
  updater->SetStorageFileName(storageFile);
  EXPECT_EQ(updater->Storage(), first);
  updater->SetStorageFileName("");
  EXPECT_EQ(updater->Storage(), nullptr);
  WriteFile(dir / "pkg/bad.stg", "not a compound file");
  EXPECT_THROW(updater->SetStorageFileName(dir / "pkg/bad.stg"), EgmStorage);
}

TEST_F(Slv2UpdaterTest, ExecuteWithoutAStorageChangesNothing) {
  std::unique_ptr<TSlv2Updater> updater = TSlv2TestUpdater::Class().Create();
  try {
    updater->Execute();
    FAIL() << "no assertion failure";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "Assertion failure (Slv2Updater)");
  }
  EXPECT_TRUE(log.Lines().empty()) << log.Text();
}

TEST_F(Slv2UpdaterTest, TheStepsRunInTheirFixedOrder) {
  WriteFile(product + "/before.txt", "x");
  WriteFile(product + "/after.txt", "x");
  WriteFile(product + "/pack.stg", CompoundFileBytes(dir, {{"unpacked.txt", "u"}}));
  Run([](StorageWriter& s) {
    s.Add("Delete_After.ini", "[Files]\n1=after.txt\n");
    s.Add("StrReplace_After.ini", "[late]\nSearchFor=a\nReplaceWith=b\nFiles=late.txt\n");
    s.Add("UnpackStorage.ini", "[u]\nStorage=pack.stg\nDestination=.\n");
    s.Add("StrReplace_Before.ini", "[early]\nSearchFor=a\nReplaceWith=b\nFiles=early.txt\n");
    s.Add("Delete_Before.ini", "[Files]\n1=before.txt\n");
    s.Add("files/product/new.txt", "n");
    s.Add("registry/empty.reg", "REGEDIT4\r\n");
  });
  std::vector<int> order = {
      LineOf("DEBUG BeforeExecute"),
      LineOf("Delete_Before: Processing deletion"),
      LineOf("(replace \"a\" (string) with \"b\" in files by mask \"early.txt\") started"),
      LineOf("UnpackStorage: Operation"),
      LineOf("ProcessFile(): Extracted new"),
      LineOf("ProcessRegistry(): processed 1 registry scripts"),
      LineOf("Delete_After: Processing deletion"),
      LineOf("in files by mask \"late.txt\") started"),
      LineOf("DEBUG AfterExecute"),
  };
  for (size_t i = 1; i < order.size(); ++i)
    EXPECT_LT(order[i - 1], order[i]) << "step " << i << "\n" << log.Text();
  EXPECT_GE(order.front(), 0);
  EXPECT_EQ(Content(product + "/unpacked.txt"), "u");
}

TEST_F(Slv2UpdaterTest, TheIniFilesBecomeTheFiveListsWithMacrosExpanded) {
  std::unique_ptr<TSlv2Updater> updater = Run([](StorageWriter& s) {
    s.Add("Delete_Before.ini", "; comment\n[Other]\n1=no\n[FILES]\n1=${PRODUCT_ID}\\a\nb\n");
    s.AddCompressed("Delete_After.ini", "[Files]\r\n x = y = z \r\n");
    s.Add("StrReplace_Before.ini",
          "[one]\nsearchfor=${PRODUCT_ID}\nReplaceWith=${SLV21_ROOT}\nIsRegExp=Ложь\n"
          "IgnoreCase=yes\nFiles=*.ini\n[one]\nSearchFor=second\n");
    s.Add("UnpackStorage.ini", "[u]\nStorage=${PRODUCT_ID}.stg\nDestination=${UNKNOWN}\n");
    s.Add("StrReplace_After.ini", "");
  });
  EXPECT_EQ(updater->DeleteBeforeList(), (std::vector<std::string>{"${PRODUCT_ID}\\a", "b"}));
  EXPECT_EQ(updater->DeleteAfterList(), (std::vector<std::string>{"y = z"}));
  const TSlv2StrReplaceList& replace = updater->StrReplaceBeforeList();
  ASSERT_EQ(replace.size(), 2u);
  EXPECT_EQ(replace[0].first, "one");
  EXPECT_EQ(replace[0].second.SearchFor, "testprod");
  EXPECT_EQ(replace[0].second.ReplaceWith, shell);
  EXPECT_TRUE(replace[0].second.IsRegExp);  // only the Latin letters fold: "Ложь" is false
  EXPECT_TRUE(replace[0].second.IgnoreCase);
  EXPECT_EQ(replace[0].second.Files, "*.ini");
  // Two sections of one name are two replacements, each with its values.
  EXPECT_EQ(replace[1].second.SearchFor, "second");
  EXPECT_FALSE(replace[1].second.IsRegExp);
  ASSERT_EQ(updater->UnpackStorageList().size(), 1u);
  EXPECT_EQ(updater->UnpackStorageList()[0].second.Storage, "testprod.stg");
  EXPECT_EQ(updater->UnpackStorageList()[0].second.Destination, "${UNKNOWN}");
  EXPECT_TRUE(updater->StrReplaceAfterList().empty());

  // Loading again reflects the new storage exactly.
  { StorageWriter writer(dir / "pkg/other.stg"); }
  updater->SetStorageFileName(dir / "pkg/other.stg");
  updater->Execute();
  EXPECT_TRUE(updater->DeleteBeforeList().empty());
  EXPECT_TRUE(updater->StrReplaceBeforeList().empty());
  EXPECT_TRUE(updater->UnpackStorageList().empty());
}

TEST_F(Slv2UpdaterTest, OversizedOrDamagedIniFilesAreIgnoredWithAnError) {
  std::string damaged = CompressedElement("[Files]\n1=keep.txt\n");
  damaged[8] ^= 1;  // the checksum
  std::unique_ptr<TSlv2Updater> updater = Run([&](StorageWriter& s) {
    // A few kilobytes that inflate to twice the limit.
    s.AddCompressed("Delete_Before.ini", "[Files]\n" + std::string(8 << 20, ';'));
    s.Add("Delete_After.ini", damaged);
  });
  EXPECT_TRUE(updater->DeleteBeforeList().empty());
  EXPECT_TRUE(updater->DeleteAfterList().empty());
  EXPECT_TRUE(
      log.Has("ERROR LoadIniFromStorage(): \"Delete_Before.ini\" is larger than 4194304 "
              "bytes, ignored"))
      << log.Text();
  EXPECT_TRUE(log.Has("ERROR LoadIniFromStorage(): \"Delete_After.ini\" is damaged, ignored"));
  EXPECT_TRUE(PathExists(product + "/keep.txt"));
}

TEST_F(Slv2UpdaterTest, MacrosExpandLeftToRightWithTheBackslashRule) {
  std::unique_ptr<TSlv2Updater> updater = TSlv2TestUpdater::Class().Create();
  updater->AddMacro("WIN", "C:\\Programs\\Family");
  updater->AddMacro("DOUBLED", "C:\\\\Programs\\\\Family");
  updater->AddMacro("NESTED", "${PRODUCT_ID}");
  updater->AddMacro("Case", "first");
  updater->AddMacro("Case", "second");
  std::string value;
  EXPECT_TRUE(updater->FindMacro("Case", value));
  EXPECT_EQ(value, "second");
  EXPECT_FALSE(updater->FindMacro("CASE", value));

  bool found = false;
  EXPECT_EQ(updater->ExpandMacros("${WIN}\\data;${DOUBLED}", &found),
            "C:\\\\Programs\\\\Family\\data;C:\\\\Programs\\\\Family");
  EXPECT_TRUE(found);
  EXPECT_EQ(updater->ExpandMacros("${NESTED}${PRODUCT_ID}${case}${}", &found),
            "${PRODUCT_ID}testprod${case}${}");
  EXPECT_EQ(updater->ExpandMacros("${SLV21_ROOT}|${PRODUCT_ROOT}"), shell + "|" + product);
  EXPECT_EQ(updater->ExpandMacros("plain $ { } text", &found), "plain $ { } text");
  EXPECT_FALSE(found);
  // An unresolved reference keeps its form, with the same doubling.
  EXPECT_EQ(updater->ResolveMacro("A\\B"), "${A\\\\B}");
  EXPECT_EQ(updater->ResolveMacro("Case"), "second");
}

TEST_F(Slv2UpdaterTest, AnUnknownShellFolderKeepsEveryStepAwayFromTheDriveRoot) {
  InstallShell(FamilyLayout::Machine21, "");
  WriteFile(dir / "pack.stg", CompoundFileBytes(dir, {{"x.txt", "x"}}));
  std::unique_ptr<TSlv2Updater> updater = Run([](StorageWriter& s) {
    s.Add("Delete_Before.ini", "[Files]\n1=*.*\n");
    s.Add("StrReplace_Before.ini", "[r]\nSearchFor=a\nReplaceWith=b\nFiles=*.*\n");
    s.Add("UnpackStorage.ini", "[u]\nStorage=pack.stg\nDestination=.\n");
    s.Add("files/product/x.txt", "x");
    s.Add("files/solvane/y.txt", "y");
  });
  EXPECT_EQ(updater->ProductRoot(), "");
  for (const char* line : {
           "ERROR Delete_Before: Product folder is unknown, 1 entries not processed",
           "ERROR   StrReplace: Product folder is unknown, no files processed",
           "ERROR   UnpackStorage: Product folder is unknown, storage not unpacked",
           "ERROR ProcessFiles(): Destination folder of \"product\" is unknown, its files are "
           "skipped",
           "ERROR ProcessFiles(): Destination folder of \"solvane\" is unknown, its files are "
           "skipped",
       }) {
    EXPECT_TRUE(log.Has(line)) << line << "\n" << log.Text();
  }
  EXPECT_FALSE(PathExists("/x.txt"));
  EXPECT_FALSE(PathExists("/y.txt"));
}

// A storage made to escape: every hostile part logs its error, nothing
// outside the family's folders changes, and the sound parts still run.
TEST_F(Slv2UpdaterTest, AHostileStorageChangesNothingOutsideTheFamilyFolders) {
  std::string bomb = CompressedElement(std::string(8 << 20, 'x'));
  bomb[4] ^= 0x7F;  // the stated size no longer matches
  std::string sections;
  for (int i = 0; i < 5000; ++i)
    sections +=
        "[s" + std::to_string(i) + "]\nStorage=..\\..\\outside\\victim.txt\nDestination=.\n";
  Run([&](StorageWriter& s) {
    s.Add("UnpackStorage.ini", sections);
    s.Add("Delete_After.ini", "[Files]\n1=..\\..\\outside\\victim.txt\n2=../../outside\n");
    s.Add("StrReplace_After.ini", "[r]\nSearchFor=outside\nReplaceWith=x\nFiles=../../outside/*\n");
    s.Add("files/product/../../outside/victim.txt", "overwritten");
    s.Add("files/product/../../evil.txt.patch", "x");
    s.Add("files/product/big.bin", bomb);
    s.Add("files/product/fine.txt", "fine");
  });
  ExpectOutsideUntouched();
  EXPECT_EQ(Content(product + "/fine.txt"), "fine");
  EXPECT_FALSE(PathExists(product + "/big.bin"));
  EXPECT_EQ(log.Count("UnpackStorage: Operation finished"), 5000);
  EXPECT_EQ(log.Count("lies outside the product and shell folders, refused"), 5003);
  EXPECT_EQ(log.Count("leads outside"), 2);
  EXPECT_EQ(log.Count("ERROR ProcessFile() failed: ESlvUpdater (Error extracting \"big.bin\""), 1);
  EXPECT_TRUE(log.Has("DEBUG AfterExecute"));
  ExpectNoTempFiles(product);
}

}  // namespace
}  // namespace slv2::test
