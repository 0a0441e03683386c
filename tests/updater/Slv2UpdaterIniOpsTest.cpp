// The operations the ini files drive: deletions, text replacements in
// installed files and the unpacking of nested storages, kept inside the
// product and shell folders.
#include <gtest/gtest.h>

#include <filesystem>

#include "UpdaterFixture.h"
#include "sys/WinError.h"

namespace slv2::test {
namespace {

class ProcessDeleteTest : public UpdaterFixture {};

TEST_F(ProcessDeleteTest, FilesFoldersAndMasksOfTheProductFolder) {
  for (const char* file : {"bin/old.dll", "docs/sub/b.txt", "temp/a.tmp", "temp/b.TMP",
                           "temp/keep.txt", "temp/sub/c.tmp", "locked.dll"})
    WriteFile(Join(product, "") + file, "x");
  MakeReadOnly(Join(product, "locked.dll"));
  Run([](StorageWriter& s) {
    s.Add("Delete_After.ini",
          "[Files]\r\n1=bin\\old.dll\r\n2 = docs\r\n3=temp\\*.tmp\r\n4=nothing\\*.xyz\r\n"
          "5=missing.txt\r\nlocked.dll\r\n");
  });
  EXPECT_FALSE(PathExists(Join(product, "bin/old.dll")));
  EXPECT_FALSE(PathExists(Join(product, "docs")));
  EXPECT_EQ(Entries(Join(product, "temp")), (std::vector<std::string>{"keep.txt", "sub"}));
  EXPECT_TRUE(PathExists(Join(product, "temp/sub/c.tmp")));
  EXPECT_TRUE(PathExists(Join(product, "locked.dll")));
  const std::string p = Join(product, "");
  for (const std::string& line : std::vector<std::string>{
           "DEBUG Delete_After: Processing deletion of \"bin\\old.dll\":",
           "DEBUG   Delete_After: Deletion of \"" + p +
               "bin\\old.dll\" as existing file - succeeded",
           "DEBUG   Delete_After: Deletion of \"" + p + "docs\" as existing directory - succeeded",
           "DEBUG   Delete_After: Started to delete 2 files by mask \"" + p + "temp\\*.tmp\"",
           "DEBUG   Delete_After: Deletion of \"" + Join(product, "temp/a.tmp") +
               "\" as existing file - succeeded",
           "WARN   Delete_After: No files found for deletion by mask \"" + p + "nothing\\*.xyz\"",
           "DEBUG   Delete_After: \"" + p +
               "missing.txt\" is not a mask and not found as file or directory",
           // With the system's reason on a line of its own.
           "DEBUG   Delete_After: Deletion of \"" + p +
               "locked.dll\" as existing file - failed\r\n  " + SysErrorMessage(kErrorAccessDenied),
       }) {
    EXPECT_TRUE(log.Has(line)) << line << "\n" << log.Text();
  }
}

TEST_F(ProcessDeleteTest, EntriesOutsideTheFamilyFoldersOrNamingThemAreRefused) {
  WriteFile(Join(shell, "old/shell.old"), "x");
  Run([](StorageWriter& s) {
    s.Add("Delete_After.ini",
          "[Files]\n1=..\\..\\outside\\victim.txt\n2=..\\..\\outside\n3=..\\..\\outside\\*.*\n"
          "4=.\n5=..\n6=bin\\..\\..\\..\n7=..\\old\\shell.old\n8=/../../../outside\n");
  });
  ExpectOutsideUntouched();
  EXPECT_TRUE(PathExists(Join(product, "keep.txt")));
  EXPECT_TRUE(PathExists(Join(shell, "shell.txt")));
  // An entry may reach into the shell folder, which is the family's too.
  EXPECT_FALSE(PathExists(Join(shell, "old/shell.old")));
  EXPECT_EQ(log.Count("lies outside the product and shell folders, refused"), 7) << log.Text();
}

class StrReplaceTest : public UpdaterFixture {
 protected:
  void Replace(const std::string& ini) {
    Run([&](StorageWriter& s) { s.Add("StrReplace_After.ini", ini); });
  }
};

TEST_F(StrReplaceTest, PlainReplacementVisitsTheMaskInEverySubfolder) {
  WriteFile(Join(product, "a.ini"), "Path=ABC abc aBc");
  WriteFile(Join(product, "sub/deeper/b.ini"), "abc");
  WriteFile(Join(product, "c.txt"), "abc");
  WriteFile(Join(product, "dir.ini/inner.txt"), "abc");
  WriteFile(Join(product, "locked.ini"), "abc");
  MakeReadOnly(Join(product, "locked.ini"));
  // Larger than a replacement reads whole: left alone.
  WriteFile(Join(product, "huge.ini"), "abc");
  std::filesystem::resize_file(Join(product, "huge.ini"), (64 << 20) + 1);
  Replace("[one]\nSearchFor=abc\nReplaceWith=xyz\nIgnoreCase=1\nFiles=*.ini\n");
  EXPECT_EQ(ReadFile(Join(product, "a.ini")), "Path=xyz xyz xyz");
  EXPECT_EQ(ReadFile(Join(product, "sub/deeper/b.ini")), "xyz");
  EXPECT_EQ(ReadFile(Join(product, "c.txt")), "abc");
  EXPECT_EQ(ReadFile(Join(product, "locked.ini")), "abc");
  for (const std::string& line : std::vector<std::string>{
           "DEBUG StrReplace: Operation (replace \"abc\" (string) with \"xyz\" in files by mask "
           "\"*.ini\") started",
           "DEBUG   StrReplace: File \"" + Join(product, "a.ini\" processed successfully"),
           // A folder whose name matches the mask holds no text.
           "WARN   StrReplace: \"" + Join(product, "dir.ini\" is a folder, no text replaced"),
           "ERROR   StrReplace: Error writing file \"" + Join(product, "locked.ini\"") + "\r\n  " +
               SysErrorMessage(kErrorAccessDenied),
           "ERROR   StrReplace: Error reading file \"" + Join(product, "huge.ini\""),
           "DEBUG StrReplace: Operation finished",
       }) {
    EXPECT_TRUE(log.Has(line)) << line << "\n" << log.Text();
  }
  ExpectNoTempFiles(product);
}

TEST_F(StrReplaceTest, RegularExpressionsAndMacros) {
  WriteFile(Join(product, "conf/a.cfg"), "ABC abc");
  WriteFile(Join(product, "conf/b.cfg"), "host=old.example\n");
  WriteFile(Join(product, "conf/c.cfg"), "nothing here");
  WriteFile(Join(product, "paths.reg"), "\"Root\"=\"" + Doubled(product) + "\\\\data\"");
  Replace(
      "[case]\nSearchFor=abc\nReplaceWith=[$0]\nIsRegExp=1\nIgnoreCase=1\nFiles=conf\\a.cfg\n"
      "[groups]\nSearchFor=host=(\\w+)\\.(\\w+)\nReplaceWith=host=$2.$1\nIsRegExp=yes\n"
      "Files=conf\\b.cfg\n"
      "[broken]\nSearchFor=(unclosed\nReplaceWith=x\nIsRegExp=true\nFiles=conf\\c.cfg\n"
      "[macro]\nSearchFor=${PRODUCT_ROOT}\\\\data\nReplaceWith=${PRODUCT_ID}\nFiles=*.reg\n");
  // IgnoreCase has no effect on an expression.
  EXPECT_EQ(ReadFile(Join(product, "conf/a.cfg")), "ABC [abc]");
  EXPECT_EQ(ReadFile(Join(product, "conf/b.cfg")), "host=example.old\n");
  EXPECT_EQ(ReadFile(Join(product, "conf/c.cfg")), "nothing here");
  EXPECT_EQ(ReadFile(Join(product, "paths.reg")), "\"Root\"=\"testprod\"");
  EXPECT_EQ(log.Count("processed successfully"), 4) << log.Text();
}

// Expressions whose matching recurses once per character complete over
// files of realistic size; one that reaches the matcher's limits leaves its
// file unchanged with an error line.
TEST_F(StrReplaceTest, LongFilesAreSearchedWholeOrLeftUnchangedWithAnError) {
  std::string alternating, section;
  for (int i = 0; i < 5000; ++i)
    alternating += "ab";
  for (int i = 0; section.size() < 48 * 1024; ++i)
    section += "Value" + std::to_string(i) + "=some old setting\r\n";
  const std::string ini = "[Keep]\r\nA=1\r\n[Old]\r\n" + section + "[Next]\r\nB=2\r\n";
  struct Case {
    const char* file;
    std::string content;
    const char* search;
    std::string result;  // "": unchanged, with the error line
  };
  const Case cases[] = {
      {"ab.txt", alternating + "c", "(a|b)*c", "x"},
      {"old.ini", ini, "\\[Old\\]((?!\\r\\n\\[).)*\\r\\n", "[Keep]\r\nA=1\r\nx[Next]\r\nB=2\r\n"},
      {"exp.txt", std::string(40, 'a') + "!", "^(a+)+$", ""},
  };
  std::string sections;
  for (const Case& c : cases) {
    WriteFile(Join(product, c.file), c.content);
    sections += std::string("[") + c.file + "]\nSearchFor=" + c.search +
                "\nReplaceWith=x\nIsRegExp=1\nFiles=" + c.file + "\n";
  }
  Replace(sections);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_TRUE(ReadFile(Join(product, c.file)) == (c.result.empty() ? c.content : c.result));
  }
  EXPECT_EQ(log.Count("ERROR "), 1) << log.Text();
  EXPECT_TRUE(log.Has("ERROR   StrReplace: Error searching file \"" + Join(product, "exp.txt") +
                      "\": the regular expression reached the match limit"))
      << log.Text();
}

TEST_F(StrReplaceTest, MasksOutsideTheFamilyFoldersAreRefused) {
  WriteFile(Join(outside, "../evil.ini"), "abc");
  Replace(
      "[a]\nSearchFor=outside\nReplaceWith=x\nFiles=..\\..\\outside\\*.txt\n"
      "[b]\nSearchFor=abc\nReplaceWith=x\nFiles=..\\..\\*.ini\n"
      "[c]\nSearchFor=shell\nReplaceWith=x\nFiles=..\\*.txt\n");
  EXPECT_EQ(ReadFile(dir / "evil.ini"), "abc");
  EXPECT_EQ(Content(Join(outside, "victim.txt")), "outside file");
  EXPECT_EQ(log.Count("lies outside the product and shell folders, refused"), 2) << log.Text();
  // The shell folder is the family's: a mask may reach it.
  EXPECT_EQ(ReadFile(Join(shell, "shell.txt")), "x file");
}

class UnpackStorageTest : public UpdaterFixture {
 protected:
  TempDir scratch;
};

TEST_F(UnpackStorageTest, ExtractsTheNestedStorageAndDeletesIt) {
  WriteFile(Join(product, "media/pack.stg"),
            CompoundFileBytes(scratch, {{"a.txt", "a"}, {"img/b.png", "b"}}));
  WriteFile(Join(product, "media/img/b.png"), "old b");
  Run([](StorageWriter& s) {
    s.Add("UnpackStorage.ini",
          "[media]\nStorage=media\\pack.stg\nDestination=media\n"
          "[absent]\nStorage=none.stg\nDestination=x\n");
  });
  EXPECT_EQ(Content(Join(product, "media/a.txt")), "a");
  EXPECT_EQ(Content(Join(product, "media/img/b.png")), "b");
  EXPECT_FALSE(PathExists(Join(product, "media/pack.stg")));
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

// Storages that do not open or lie outside are logged and the run goes on;
// one that opens but does not come out whole ends the product's run.
TEST_F(UnpackStorageTest, BadOrHostileStoragesStayAndOnlyAFailedExtractionEndsTheRun) {
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
  EXPECT_TRUE(PathExists(Join(outside, "pack.stg")));
  EXPECT_FALSE(PathExists(dir / "evil.txt"));
  EXPECT_EQ(log.Count("ERROR   UnpackStorage: Error opening storage: EgmStorage ("), 1)
      << log.Text();
  EXPECT_EQ(log.Count("lies outside the product and shell folders, refused"), 2);
  EXPECT_EQ(log.Count("ERROR   UnpackStorage: Error unpacking storage: EgmStorage ("), 1);
  EXPECT_EQ(log.Count("Storage deleted"), 0);
  EXPECT_EQ(log.Count("DEBUG UnpackStorage: Operation finished"), 4);
  EXPECT_FALSE(PathExists(Join(product, "after.txt")));
}

}  // namespace
}  // namespace slv2::test
