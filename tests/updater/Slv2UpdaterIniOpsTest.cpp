// The operations the ini files drive: deletions, text replacements in
// installed files and the unpacking of nested storages, with the paths a
// storage may name kept inside the product and shell folders.
#include <gtest/gtest.h>

#include "UpdaterFixture.h"
#include "sys/Cp1251.h"

namespace slv2::test {
namespace {

class ProcessDeleteTest : public UpdaterFixture {};

TEST_F(ProcessDeleteTest, FilesFoldersAndMasksOfTheProductFolder) {
  WriteFile(product + "/bin/old.dll", "x");
  WriteFile(product + "/docs/a.txt", "x");
  WriteFile(product + "/docs/sub/b.txt", "x");
  WriteFile(product + "/temp/a.tmp", "x");
  WriteFile(product + "/temp/b.TMP", "x");
  WriteFile(product + "/temp/keep.txt", "x");
  WriteFile(product + "/temp/sub/c.tmp", "x");
  Run([](StorageWriter& s) {
    s.Add("Delete_After.ini",
          "[Files]\r\n1=bin\\old.dll\r\n2 = docs\r\n3=temp\\*.tmp\r\n4=nothing\\*.xyz\r\n"
          "5=missing.txt\r\n");
  });
  EXPECT_FALSE(PathExists(product + "/bin/old.dll"));
  EXPECT_FALSE(PathExists(product + "/docs"));
  EXPECT_EQ(Entries(product + "/temp"), (std::vector<std::string>{"keep.txt", "sub"}));
  EXPECT_TRUE(PathExists(product + "/temp/sub/c.tmp"));

  const std::string p = product + "/";
  for (const std::string& line : std::vector<std::string>{
           "DEBUG Delete_After: Processing deletion of \"bin\\old.dll\":",
           "DEBUG   Delete_After: Deletion of \"" + p +
               "bin\\old.dll\" as existing file - succeeded",
           "DEBUG   Delete_After: Deletion of \"" + p + "docs\" as existing directory - succeeded",
           "DEBUG   Delete_After: Started to delete 2 files by mask \"" + p + "temp\\*.tmp\"",
           "DEBUG   Delete_After: Deletion of \"" + p + "temp/a.tmp\" as existing file - succeeded",
           "WARN   Delete_After: No files found for deletion by mask \"" + p + "nothing\\*.xyz\"",
           "DEBUG   Delete_After: \"" + p +
               "missing.txt\" is not a mask and not found as file or directory",
       }) {
    EXPECT_TRUE(log.Has(line)) << line << "\n" << log.Text();
  }
}

TEST_F(ProcessDeleteTest, ReadOnlyFilesStayAndAreReportedAsFailed) {
  WriteFile(product + "/locked.dll", "x");
  MakeReadOnly(product + "/locked.dll");
  Run([](StorageWriter& s) { s.Add("Delete_Before.ini", "[files]\nlocked.dll\n"); });
  EXPECT_TRUE(PathExists(product + "/locked.dll"));
  EXPECT_TRUE(log.Has("DEBUG   Delete_Before: Deletion of \"" + product +
                      "/locked.dll\" as existing file - failed"))
      << log.Text();
}

TEST_F(ProcessDeleteTest, EntriesOutsideTheFamilyFoldersOrNamingThemAreRefused) {
  WriteFile(shell + "/old/shell.old", "x");
  Run([](StorageWriter& s) {
    s.Add("Delete_After.ini",
          "[Files]\n1=..\\..\\outside\\victim.txt\n2=..\\..\\outside\n3=..\\..\\outside\\*.*\n"
          "4=.\n5=..\n6=bin\\..\\..\\..\n7=..\\old\\shell.old\n8=/../../../outside\n");
  });
  ExpectOutsideUntouched();
  EXPECT_TRUE(PathExists(product + "/keep.txt"));
  EXPECT_TRUE(PathExists(shell + "/shell.txt"));
  // An entry may reach into the shell folder, which is the family's too.
  EXPECT_FALSE(PathExists(shell + "/old/shell.old"));
  EXPECT_EQ(log.Count("lies outside the product and shell folders, refused"), 7) << log.Text();
}

TEST_F(ProcessDeleteTest, AnUnknownProductFolderDeletesNothing) {
  InstallProduct(FamilyLayout::Machine21, "testprod", "");
  Run([](StorageWriter& s) { s.Add("Delete_Before.ini", "[Files]\n1=*.*\n2=bin\n"); });
  EXPECT_TRUE(log.Has("ERROR Delete_Before: Product folder is unknown, 2 entries not processed"))
      << log.Text();
  EXPECT_EQ(log.Count("Processing deletion"), 0);
}

class StrReplaceTest : public UpdaterFixture {
 protected:
  void Replace(const std::string& section) {
    Run([&](StorageWriter& s) { s.Add("StrReplace_After.ini", section); });
  }
};

TEST_F(StrReplaceTest, PlainReplacementVisitsTheMaskInEverySubfolder) {
  WriteFile(product + "/a.ini", "Path=ABC abc aBc");
  WriteFile(product + "/sub/deeper/b.ini", "abc");
  WriteFile(product + "/c.txt", "abc");
  WriteFile(product + "/dir.ini/inner.txt", "abc");
  Replace("[one]\nSearchFor=abc\nReplaceWith=xyz\nIgnoreCase=1\nFiles=*.ini\n");
  EXPECT_EQ(ReadFile(product + "/a.ini"), "Path=xyz xyz xyz");
  EXPECT_EQ(ReadFile(product + "/sub/deeper/b.ini"), "xyz");
  EXPECT_EQ(ReadFile(product + "/c.txt"), "abc");
  EXPECT_TRUE(
      log.Has("DEBUG StrReplace: Operation (replace \"abc\" (string) with \"xyz\" in "
              "files by mask \"*.ini\") started"))
      << log.Text();
  EXPECT_TRUE(log.Has("DEBUG   StrReplace: File \"" + product + "/a.ini\" processed successfully"));
  // A folder whose name matches the mask is a file that cannot be read.
  EXPECT_TRUE(log.Has("ERROR   StrReplace: Error reading file \"" + product + "/dir.ini\""));
  EXPECT_TRUE(log.Has("DEBUG StrReplace: Operation finished"));
  ExpectNoTempFiles(product);
}

TEST_F(StrReplaceTest, RegularExpressionsAreCaseSensitiveUnlessThePatternSaysOtherwise) {
  WriteFile(product + "/conf/a.cfg", "ABC abc");
  WriteFile(product + "/conf/b.cfg", "host=old.example\n");
  WriteFile(product + "/conf/c.cfg", "nothing here");
  Replace(
      "[case]\nSearchFor=abc\nReplaceWith=[$0]\nIsRegExp=1\nIgnoreCase=1\nFiles=conf\\a.cfg\n"
      "[groups]\nSearchFor=host=(\\w+)\\.(\\w+)\nReplaceWith=host=$2.$1\nIsRegExp=yes\n"
      "Files=conf\\b.cfg\n"
      "[broken]\nSearchFor=(unclosed\nReplaceWith=x\nIsRegExp=true\nFiles=conf\\c.cfg\n");
  EXPECT_EQ(ReadFile(product + "/conf/a.cfg"), "ABC [abc]");
  EXPECT_EQ(ReadFile(product + "/conf/b.cfg"), "host=example.old\n");
  // A pattern that does not compile matches nothing; the file is rewritten.
  EXPECT_EQ(ReadFile(product + "/conf/c.cfg"), "nothing here");
  EXPECT_EQ(log.Count("processed successfully"), 3) << log.Text();
}

TEST_F(StrReplaceTest, MacrosInTheValuesAreExpandedWithDoubledBackslashes) {
  WriteFile(product + "/paths.reg", "\"Root\"=\"" + product + "\\\\data\"");
  Replace("[r]\nSearchFor=${PRODUCT_ROOT}\\\\data\nReplaceWith=${PRODUCT_ID}\nFiles=*.reg\n");
  EXPECT_EQ(ReadFile(product + "/paths.reg"), "\"Root\"=\"testprod\"");
}

TEST_F(StrReplaceTest, ReadOnlyFilesAreReportedAndKeepTheirContent) {
  WriteFile(product + "/locked.ini", "abc");
  MakeReadOnly(product + "/locked.ini");
  Replace("[r]\nSearchFor=abc\nReplaceWith=x\nFiles=locked.ini\n");
  EXPECT_EQ(ReadFile(product + "/locked.ini"), "abc");
  EXPECT_TRUE(log.Has("ERROR   StrReplace: Error writing file \"" + product + "/locked.ini\""))
      << log.Text();
  ExpectNoTempFiles(product);
}

TEST_F(StrReplaceTest, MasksOutsideTheFamilyFoldersAreRefused) {
  WriteFile(outside + "/evil.ini", "abc");
  Replace(
      "[a]\nSearchFor=abc\nReplaceWith=x\nFiles=..\\..\\outside\\*.ini\n"
      "[b]\nSearchFor=outside\nReplaceWith=x\nFiles=..\\..\\*.txt\n"
      "[c]\nSearchFor=shell\nReplaceWith=x\nFiles=..\\*.txt\n");
  EXPECT_EQ(ReadFile(outside + "/evil.ini"), "abc");
  ExpectOutsideUntouched();
  EXPECT_EQ(log.Count("lies outside the product and shell folders, refused"), 2) << log.Text();
  EXPECT_EQ(log.Count("Operation finished"), 3);
  // The shell folder is the family's: a mask may reach it.
  EXPECT_EQ(ReadFile(shell + "/shell.txt"), "x file");
}

class UnpackStorageTest : public UpdaterFixture {
 protected:
  TempDir scratch;
};

TEST_F(UnpackStorageTest, ExtractsTheNestedStorageAndDeletesIt) {
  WriteFile(product + "/media/pack.stg",
            CompoundFileBytes(scratch, {{"a.txt", "a"}, {"img/b.png", "b"}}));
  WriteFile(product + "/media/img/b.png", "old b");
  Run([](StorageWriter& s) {
    s.Add("UnpackStorage.ini",
          "[media]\nStorage=media\\pack.stg\nDestination=media\n"
          "[absent]\nStorage=none.stg\nDestination=x\n");
  });
  EXPECT_EQ(Content(product + "/media/a.txt"), "a");
  EXPECT_EQ(Content(product + "/media/img/b.png"), "b");
  EXPECT_FALSE(PathExists(product + "/media/pack.stg"));
  for (const char* line : {
           "DEBUG UnpackStorage: Operation (unpack \"media\\pack.stg\" to \"media\") started",
           "DEBUG   UnpackStorage: Storage unpacked",
           "DEBUG   UnpackStorage: Storage deleted",
           "WARN   UnpackStorage: No storage found for processing",
       }) {
    EXPECT_TRUE(log.Has(line)) << line << "\n" << log.Text();
  }
  EXPECT_EQ(log.Count("DEBUG UnpackStorage: Operation finished"), 2);
}

TEST_F(UnpackStorageTest, AStorageThatDoesNotOpenOrUnpackStaysAndTheRunGoesOn) {
  WriteFile(product + "/bad.stg", "not a compound file");
  WriteFile(product + "/hostile.stg",
            CompoundFileBytes(scratch, {{"a.txt", "a"}, {"../../../evil.txt", "x"}}));
  Run([](StorageWriter& s) {
    s.Add("UnpackStorage.ini",
          "[bad]\nStorage=bad.stg\nDestination=.\n[hostile]\nStorage=hostile.stg\n"
          "Destination=out\n");
    s.Add("files/product/after.txt", "after");
  });
  EXPECT_TRUE(PathExists(product + "/bad.stg"));
  EXPECT_TRUE(PathExists(product + "/hostile.stg"));
  ExpectOutsideUntouched();
  EXPECT_EQ(log.Count("ERROR   UnpackStorage: Error opening storage: EgmStorage ("), 1)
      << log.Text();
  EXPECT_EQ(log.Count("ERROR   UnpackStorage: Error unpacking storage: EgmStorage ("), 1);
  EXPECT_EQ(log.Count("Storage deleted"), 0);
  EXPECT_EQ(log.Count("DEBUG UnpackStorage: Operation finished"), 2);
  EXPECT_EQ(Content(product + "/after.txt"), "after");
}

TEST_F(UnpackStorageTest, PathsOutsideTheFamilyFoldersAreRefused) {
  WriteFile(outside + "/pack.stg", CompoundFileBytes(scratch, {{"evil.txt", "x"}}));
  WriteFile(product + "/pack.stg", CompoundFileBytes(scratch, {{"evil.txt", "x"}}));
  Run([](StorageWriter& s) {
    s.Add("UnpackStorage.ini",
          "[a]\nStorage=..\\..\\outside\\pack.stg\nDestination=.\n"
          "[b]\nStorage=pack.stg\nDestination=..\\..\\outside\n");
  });
  EXPECT_TRUE(PathExists(outside + "/pack.stg"));
  EXPECT_TRUE(PathExists(product + "/pack.stg"));
  ExpectOutsideUntouched();
  EXPECT_EQ(log.Count("lies outside the product and shell folders, refused"), 2) << log.Text();
}

}  // namespace
}  // namespace slv2::test
