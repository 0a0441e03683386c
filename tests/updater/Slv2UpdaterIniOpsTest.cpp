// The operations the ini files drive: deletions, text replacements in
// installed files and the unpacking of nested storages, kept inside the
// product and shell folders.
#include <gtest/gtest.h>

#include <filesystem>

#include "UpdaterFixture.h"

namespace slv2::test {
namespace {

class ProcessDeleteTest : public UpdaterFixture {};

TEST_F(ProcessDeleteTest, FilesFoldersAndMasksOfTheProductFolder) {
  for (const char* file : {"bin/old.dll", "docs/sub/b.txt", "temp/a.tmp", "temp/b.TMP",
                           "temp/keep.txt", "temp/sub/c.tmp", "locked.dll"})
    WriteFile(product + "/" + file, "x");
  MakeReadOnly(product + "/locked.dll");
  Run([](StorageWriter& s) {
    s.Add("Delete_After.ini",
          "[Files]\r\n1=bin\\old.dll\r\n2 = docs\r\n3=temp\\*.tmp\r\n4=nothing\\*.xyz\r\n"
          "5=missing.txt\r\nlocked.dll\r\n");
  });
  EXPECT_FALSE(PathExists(product + "/bin/old.dll"));
  EXPECT_FALSE(PathExists(product + "/docs"));
  EXPECT_EQ(Entries(product + "/temp"), (std::vector<std::string>{"keep.txt", "sub"}));
  EXPECT_TRUE(PathExists(product + "/temp/sub/c.tmp"));
  EXPECT_TRUE(PathExists(product + "/locked.dll"));
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
           "DEBUG   Delete_After: Deletion of \"" + p + "locked.dll\" as existing file - failed",
       }) {
    EXPECT_TRUE(log.Has(line)) << line << "\n" << log.Text();
  }
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

class StrReplaceTest : public UpdaterFixture {
 protected:
  void Replace(const std::string& ini) {
    Run([&](StorageWriter& s) { s.Add("StrReplace_After.ini", ini); });
  }
};

TEST_F(StrReplaceTest, PlainReplacementVisitsTheMaskInEverySubfolder) {
  WriteFile(product + "/a.ini", "Path=ABC abc aBc");
  WriteFile(product + "/sub/deeper/b.ini", "abc");
  WriteFile(product + "/c.txt", "abc");
  WriteFile(product + "/dir.ini/inner.txt", "abc");
  WriteFile(product + "/locked.ini", "abc");
  MakeReadOnly(product + "/locked.ini");
  // Larger than a replacement reads whole: left alone.
  WriteFile(product + "/huge.ini", "abc");
  std::filesystem::resize_file(product + "/huge.ini", (64 << 20) + 1);
  Replace("[one]\nSearchFor=abc\nReplaceWith=xyz\nIgnoreCase=1\nFiles=*.ini\n");
  EXPECT_EQ(ReadFile(product + "/a.ini"), "Path=xyz xyz xyz");
  EXPECT_EQ(ReadFile(product + "/sub/deeper/b.ini"), "xyz");
  EXPECT_EQ(ReadFile(product + "/c.txt"), "abc");
  EXPECT_EQ(ReadFile(product + "/locked.ini"), "abc");
  for (const std::string& line : std::vector<std::string>{
           "DEBUG StrReplace: Operation (replace \"abc\" (string) with \"xyz\" in files by mask "
           "\"*.ini\") started",
           "DEBUG   StrReplace: File \"" + product + "/a.ini\" processed successfully",
           // A folder whose name matches the mask is a file that cannot be read.
           "ERROR   StrReplace: Error reading file \"" + product + "/dir.ini\"",
           "ERROR   StrReplace: Error writing file \"" + product + "/locked.ini\"",
           "ERROR   StrReplace: Error reading file \"" + product + "/huge.ini\"",
           "DEBUG StrReplace: Operation finished",
       }) {
    EXPECT_TRUE(log.Has(line)) << line << "\n" << log.Text();
  }
  ExpectNoTempFiles(product);
}

TEST_F(StrReplaceTest, RegularExpressionsAndMacros) {
  WriteFile(product + "/conf/a.cfg", "ABC abc");
  WriteFile(product + "/conf/b.cfg", "host=old.example\n");
  WriteFile(product + "/conf/c.cfg", "nothing here");
  WriteFile(product + "/paths.reg", "\"Root\"=\"" + product + "\\\\data\"");
  Replace(
      "[case]\nSearchFor=abc\nReplaceWith=[$0]\nIsRegExp=1\nIgnoreCase=1\nFiles=conf\\a.cfg\n"
      "[groups]\nSearchFor=host=(\\w+)\\.(\\w+)\nReplaceWith=host=$2.$1\nIsRegExp=yes\n"
      "Files=conf\\b.cfg\n"
      "[broken]\nSearchFor=(unclosed\nReplaceWith=x\nIsRegExp=true\nFiles=conf\\c.cfg\n"
      "[macro]\nSearchFor=${PRODUCT_ROOT}\\\\data\nReplaceWith=${PRODUCT_ID}\nFiles=*.reg\n");
  // IgnoreCase has no effect on an expression.
  EXPECT_EQ(ReadFile(product + "/conf/a.cfg"), "ABC [abc]");
  EXPECT_EQ(ReadFile(product + "/conf/b.cfg"), "host=example.old\n");
  EXPECT_EQ(ReadFile(product + "/conf/c.cfg"), "nothing here");
  EXPECT_EQ(ReadFile(product + "/paths.reg"), "\"Root\"=\"testprod\"");
  EXPECT_EQ(log.Count("processed successfully"), 4) << log.Text();
}

TEST_F(StrReplaceTest, MasksOutsideTheFamilyFoldersAreRefused) {
  WriteFile(outside + "/../evil.ini", "abc");
  Replace(
      "[a]\nSearchFor=outside\nReplaceWith=x\nFiles=..\\..\\outside\\*.txt\n"
      "[b]\nSearchFor=abc\nReplaceWith=x\nFiles=..\\..\\*.ini\n"
      "[c]\nSearchFor=shell\nReplaceWith=x\nFiles=..\\*.txt\n");
  EXPECT_EQ(ReadFile(dir / "evil.ini"), "abc");
  EXPECT_EQ(Content(outside + "/victim.txt"), "outside file");
  EXPECT_EQ(log.Count("lies outside the product and shell folders, refused"), 2) << log.Text();
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

TEST_F(UnpackStorageTest, BadOrHostileStoragesStayAndTheRunGoesOn) {
  WriteFile(product + "/bad.stg", "not a compound file");
  WriteFile(product + "/hostile.stg",
            CompoundFileBytes(scratch, {{"a.txt", "a"}, {"../../../evil.txt", "x"}}));
  WriteFile(outside + "/pack.stg", CompoundFileBytes(scratch, {{"evil.txt", "x"}}));
  Run([](StorageWriter& s) {
    s.Add("UnpackStorage.ini",
          "[bad]\nStorage=bad.stg\nDestination=.\n[hostile]\nStorage=hostile.stg\n"
          "Destination=out\n[from]\nStorage=..\\..\\outside\\pack.stg\nDestination=.\n"
          "[to]\nStorage=hostile.stg\nDestination=..\\..\\outside\n");
    s.Add("files/product/after.txt", "after");
  });
  EXPECT_TRUE(PathExists(product + "/bad.stg"));
  EXPECT_TRUE(PathExists(product + "/hostile.stg"));
  EXPECT_TRUE(PathExists(outside + "/pack.stg"));
  EXPECT_FALSE(PathExists(dir / "evil.txt"));
  EXPECT_EQ(log.Count("ERROR   UnpackStorage: Error opening storage: EgmStorage ("), 1)
      << log.Text();
  EXPECT_EQ(log.Count("ERROR   UnpackStorage: Error unpacking storage: EgmStorage ("), 1);
  EXPECT_EQ(log.Count("lies outside the product and shell folders, refused"), 2);
  EXPECT_EQ(log.Count("Storage deleted"), 0);
  EXPECT_EQ(log.Count("DEBUG UnpackStorage: Operation finished"), 4);
  EXPECT_EQ(Content(product + "/after.txt"), "after");
}

}  // namespace
}  // namespace slv2::test
