// The file elements of an update storage: new and replaced files under the
// version rule, compound-file merges, differences, and elements that must
// not be written.
#include <gtest/gtest.h>

#include <algorithm>

#include "UpdaterFixture.h"
#include "patch/DiffMaker.h"
#include "sys/Cp1251.h"

namespace slv2::test {
namespace {

class ProcessFilesTest : public UpdaterFixture {};

TEST_F(ProcessFilesTest, NewFilesAreExtractedAsOrdinaryFilesWithTheirFolders) {
  Run([](StorageWriter& s) {
    s.Add("files/product/bin/app.dll", "app");
    s.AddCompressed("files/product/data/packed.txt", "packed content");
    s.Add("files/product/x.DIFF", "not a difference");
  });
  EXPECT_TRUE(log.Has("DEBUG ProcessFiles(): No files to process in update storage \"solvane\""));
  EXPECT_EQ(Content(Join(product, "bin/app.dll")), "app");
  EXPECT_EQ(Content(Join(product, "data/packed.txt")), "packed content");
  EXPECT_EQ(Content(Join(product, "x.DIFF")), "not a difference");
  EXPECT_TRUE(log.Has("DEBUG ProcessFile(): Extracted new \"" + Join(product, "bin/app.dll\"")))
      << log.Text();
  EXPECT_TRUE(log.Has("DEBUG ProcessFiles(): Processed 3 files"));
  // The permissions of a new file, not of a private temporary one.
  EXPECT_TRUE(HasNewFilePermissions(Join(product, "bin/app.dll")));
  ExpectNoTempFiles(Join(product, "bin"));

  log.Clear();
  Run([](StorageWriter& s) { s.Add("files/solvane/help/new.txt", "help"); });
  EXPECT_TRUE(log.Has("DEBUG ProcessFiles(): No files to process in update storage \"product\""));
  EXPECT_EQ(Content(Join(shell, "help/new.txt")), "help");
}

TEST_F(ProcessFilesTest, InstalledFilesFollowTheVersionRule) {
  struct Row {
    const char *installed, *incoming;
    bool replaced;
  };
  for (const Row& row : {
           Row{"ver_1_10_0_0.exe", "ver_1_9_0_0.exe", false},  // installed newer
           Row{"ver_1_9_0_0.exe", "ver_1_10_0_0.exe", true},   // incoming newer
           Row{"ver_1_9_0_0.exe", "ver_1_9_0_0.exe", true},    // the same
           Row{"no_version.exe", "ver_1_9_0_0.exe", true},     // only the incoming has one
           Row{"ver_1_9_0_0.exe", "no_resources.exe", false},  // only the installed has one
           Row{"no_version.exe", "no_resources.exe", true},    // neither has one
       }) {
    SCOPED_TRACE(std::string(row.installed) + " <- " + row.incoming);
    log.Clear();
    std::string target = Join(product, "bin/prog.exe");
    WriteFile(target, PeFile(row.installed));
    Run([&](StorageWriter& s) { s.Add("files/product/bin/prog.exe", PeFile(row.incoming)); });
    EXPECT_EQ(ReadFile(target), PeFile(row.replaced ? row.incoming : row.installed));
    EXPECT_TRUE(log.Has(
        row.replaced ? "DEBUG ProcessFile(): Replaced \"" + target + "\" with newer or the same"
                     : "DEBUG ProcessFile(): Existing \"" + target + "\" has newer version"))
        << log.Text();
    ExpectNoTempFiles(Join(product, "bin"));
  }
}

// The new file is writable, as the platform's copy makes it, so that a text
// replacement after the files still edits it in the same run.
TEST_F(ProcessFilesTest, AReplacedReadOnlyFileCanBeEditedLaterInTheRun) {
  std::string target = Join(product, "bin/lib.cfg");
  WriteFile(target, "old content");
  MakeReadOnly(target);
  Run([](StorageWriter& s) {
    s.Add("files/product/bin/lib.cfg", "new content");
    s.Add("StrReplace_After.ini", "[edit]\nSearchFor=new\nReplaceWith=edited\nFiles=bin\\*.cfg\n");
  });
  EXPECT_EQ(ReadFile(target), "edited content");
  EXPECT_FALSE(IsReadOnly(target));
  EXPECT_EQ(log.Count("ERROR"), 0) << log.Text();
  ExpectNoTempFiles(Join(product, "bin"));
}

// More elements than one batch holds: the first batch is made durable and
// renamed while the rest is written, and the log still follows the elements.
// A kept element's temporary file serves the next element of its folder.
TEST_F(ProcessFilesTest, ManyFilesAreReplacedInBatchesAndLoggedInElementOrder) {
  for (int i = 0; i < 700; i += 2)
    WriteFile(Join(product, "many/f") + std::to_string(i) + ".txt", "old");
  WriteFile(Join(product, "many/a.exe"), PeFile("ver_1_10_0_0.exe"));
  Run([](StorageWriter& s) {
    s.Add("files/product/many/a.exe", PeFile("ver_1_9_0_0.exe") + std::string(100000, 'x'));
    s.AddCompressed("files/product/many/b.txt", "packed");
    for (int i = 0; i < 700; ++i)
      s.Add("files/product/many/f" + std::to_string(i) + ".txt", "new " + std::to_string(i));
  });
  std::vector<std::string> elements, logged;
  TgmStorageRef root = TgmStorage::Create(storageFile, stg::kStgmRead | stg::kStgmShareDenyWrite);
  root->ListStreams(elements);
  const std::string many = Join("", "many/");  // in the platform's form
  for (const std::string& line : log.Lines()) {
    size_t name = line.find(many);
    if (line.find("ProcessFile(): ") == std::string::npos || name == std::string::npos) continue;
    std::string element = line.substr(name, line.find('"', name) - name);
    std::replace(element.begin(), element.end(), '\\', '/');
    logged.push_back("files/product" + element);
  }
  EXPECT_EQ(logged, elements);
  EXPECT_EQ(log.Count("Replaced"), 350);
  EXPECT_EQ(ReadFile(Join(product, "many/a.exe")), PeFile("ver_1_10_0_0.exe"));
  EXPECT_EQ(ReadFile(Join(product, "many/b.txt")), "packed");
  for (int i = 0; i < 700; i += 99)
    EXPECT_EQ(Content(Join(product, "many/f") + std::to_string(i) + ".txt"),
              "new " + std::to_string(i));
  ExpectNoTempFiles(Join(product, "many"));
}

TEST_F(ProcessFilesTest, FailedElementsAreLoggedAsFailuresAndTheNextOneRuns) {
  WriteFile(Join(product, "bin/lied.dll"), "installed");
  std::string lying = CompressedElement("twelve bytes");
  lying[4] ^= 0x40;  // the stated size, scrambled with the key byte
  Run([&](StorageWriter& s) {
    s.Add("files/product/bin/lied.dll", lying);
    s.Add("files/product/bin/lied-new.dll", lying);
    s.Add("files/product/keep.txt/inner", "a file where a folder is");
    s.Add("files/product/bin/after.dll", "after");
  });
  EXPECT_EQ(ReadFile(Join(product, "bin/lied.dll")), "installed");
  EXPECT_FALSE(PathExists(Join(product, "bin/lied-new.dll")));
  EXPECT_EQ(ReadFile(Join(product, "keep.txt")), "product file");
  EXPECT_EQ(Content(Join(product, "bin/after.dll")), "after");
  EXPECT_EQ(log.Count("ERROR ProcessFile() failed: ESlvUpdater (Error extracting \"bin/lied"), 2)
      << log.Text();
  EXPECT_EQ(log.Count("ERROR ProcessFile() failed:"), 3);
  EXPECT_EQ(log.Count("Replaced"), 0);
  EXPECT_EQ(log.Count("Extracted new"), 1);
  ExpectNoTempFiles(Join(product, "bin"));
}

TEST_F(ProcessFilesTest, ElementsLeadingOutOfTheirFolderAreRefused) {
  Run([](StorageWriter& s) {
    s.Add("files/product/../../evil.txt", "x");
    s.Add("files/product/../../outside/victim.txt", "x");
    s.Add("files/product/sub/../../../evil.txt.patch", "x");
    s.Add("files/product/../../outside/victim.txt.diff", "x");
    s.Add("files/solvane/../evil.txt", "x");
    s.Add("files/product/ok/../fine.txt", "fine");
  });
  ExpectOutsideUntouched();
  EXPECT_EQ(Content(Join(product, "fine.txt")), "fine");
  EXPECT_TRUE(log.Has("ERROR ProcessFile(): \"../../evil.txt\" leads outside \"" + product +
                      "\", element refused"))
      << log.Text();
  EXPECT_EQ(log.Count("ERROR ProcessFile(): \""), 3);
  EXPECT_EQ(log.Count("ERROR ProcessPatch(): \""), 1);
  EXPECT_EQ(log.Count("ERROR ProcessDiff(): \""), 1);

  // A product the registry places beside the shell folder is the family's.
  InstallProduct(FamilyLayout::Machine21, "testprod", "..\\other");
  Run([](StorageWriter& s) { s.Add("files/product/bin/app.dll", "app"); });
  EXPECT_EQ(Content(dir / "other/bin/app.dll"), "app");
}

TEST_F(ProcessFilesTest, ElementsNamedWithControlCharactersAreRefused) {
  // Such a name would forge log lines or drive the terminal showing the log.
  Run([](StorageWriter& s) {
    s.Add("files/product/forged\nERROR line.txt", "x");
    s.Add("files/product/esc\x1b[2J.txt.diff", "x");
    s.Add("files/product/fine.txt", "fine");
  });
  EXPECT_TRUE(log.Has(
      "ERROR ProcessFiles(): \"forged?ERROR line.txt\" is not a valid file name, element refused"))
      << log.Text();
  EXPECT_TRUE(log.Has(
      "ERROR ProcessFiles(): \"esc?[2J.txt.diff\" is not a valid file name, element refused"));
  EXPECT_EQ(Entries(product), (std::vector<std::string>{"fine.txt", "keep.txt"}));
}

TEST_F(ProcessFilesTest, TheNameMapPlacesShortElementsUnderTheirLongPaths) {
  const std::string longPath =
      "a folder name longer than thirty-one characters/a file name longer than thirty-one.txt";
  std::string mapped = longPath;
  std::replace(mapped.begin(), mapped.end(), '/', '\\');
  Run([&](StorageWriter& s) {
    s.Add("files/Names.ini", "[product]\r\n~name1=" + mapped +
                                 "\r\n~name2=..\\..\\evil.txt\r\n~name3=\\abs\\evil.txt\r\n"
                                 "~name4=sub\\x\x1b.txt\r\n~name5=C:evil.txt\r\n"
                                 "~name6=sub\\.\\x.txt\r\n[solvane]\r\n~name1=help\\shell.txt\r\n");
    for (int i = 1; i <= 6; ++i)
      s.Add("files/product/~name" + std::to_string(i), "x");
    s.Add("files/solvane/~name1", "shell");
    s.Add("files/product/unmapped.txt", "plain");
  });
  ExpectOutsideUntouched();
  EXPECT_EQ(Content(Join(product, longPath)), "x");
  EXPECT_EQ(Content(Join(shell, "help/shell.txt")), "shell");
  EXPECT_EQ(Content(Join(product, "unmapped.txt")), "plain");
  EXPECT_TRUE(
      log.Has("ERROR ProcessFiles(): \"~name2\" maps to \"../../evil.txt\", which is no "
              "path inside the folder; element refused"))
      << log.Text();
  EXPECT_EQ(log.Count("which is no path inside the folder; element refused"), 5);
  EXPECT_EQ(Entries(product),
            (std::vector<std::string>{"a folder name longer than thirty-one characters", "keep.txt",
                                      "unmapped.txt"}));
}

class ProcessPatchTest : public UpdaterFixture {
 protected:
  std::string target = Join(product, "data.mdb");
  TempDir scratch;
};

TEST_F(ProcessPatchTest, MergesIntoTheInstalledCompoundFile) {
  WriteFile(target, CompoundFileBytes(scratch, {{"Tables/a", "old a"}, {"Tables/b", "b"}}));
  std::string patch = CompoundFileBytes(scratch, {{"Tables/a", "new a"}, {"Forms/f", "f"}});
  Run([&](StorageWriter& s) { s.Add("files/product/data.mdb.patch", patch); });
  EXPECT_EQ(ReadStreams(target),
            (Streams{{"Forms/f", "f"}, {"Tables/a", "new a"}, {"Tables/b", "b"}}));
  EXPECT_EQ(log.Count(", \"data.mdb.patch\", \"" + target + "\") succeeded"), 1) << log.Text();
  ExpectNoTempFiles(product);
}

TEST_F(ProcessPatchTest, ATargetOrPatchThatIsNotACompoundFileChangesNothing) {
  WriteFile(target, "plain text, not a compound file");
  std::string installed = CompoundFileBytes(scratch, {{"a", "a"}});
  WriteFile(Join(product, "good.mdb"), installed);
  Run([&](StorageWriter& s) {
    s.Add("files/product/data.mdb.patch", installed);
    s.Add("files/product/missing.mdb.patch", installed);
    s.Add("files/product/good.mdb.patch", "not a compound file");
    s.Add("files/product/after.txt", "after");
  });
  EXPECT_EQ(ReadFile(target), "plain text, not a compound file");
  EXPECT_EQ(ReadFile(Join(product, "good.mdb")), installed);
  EXPECT_FALSE(PathExists(Join(product, "missing.mdb")));
  EXPECT_EQ(log.Count("ERROR ProcessPatch() failed: EgmStorage ("), 3) << log.Text();
  // The installed file is opened for reading and writing, exclusively.
  EXPECT_EQ(log.Count("ERROR ProcessPatch() failed: EgmStorage (TgmStorage." +
                      A("Не могу открыть хранилище ") + target + " (18) (0x"),
            1);
  EXPECT_EQ(Content(Join(product, "after.txt")), "after");
  ExpectNoTempFiles(product);
}

class ProcessDiffTest : public UpdaterFixture {
 protected:
  std::string Diff(const std::string& before, const std::string& after) {
    WriteFile(scratch / "old", before);
    WriteFile(scratch / "new", after);
    CreateDiffFile(scratch / "old", scratch / "new", scratch / "diff");
    return ReadFile(scratch / "diff");
  }
  static std::string Text(int version) {
    std::string text;
    for (int i = 0; i < 3000; ++i)
      text += "line " + std::to_string(i * version) + " of the installed file\n";
    return text;
  }

  std::string target = Join(product, "bin/module.dat");
  TempDir scratch;
};

TEST_F(ProcessDiffTest, AppliesToTheInstalledFile) {
  WriteFile(target, Text(1));
  MakeReadOnly(target);
  std::string diff = Diff(Text(1), Text(2));
  Run([&](StorageWriter& s) { s.AddCompressed("files/product/bin/module.dat.diff", diff); });
  EXPECT_EQ(ReadFile(target), Text(2));
  EXPECT_FALSE(IsReadOnly(target));
  EXPECT_EQ(log.Count(", \"bin/module.dat.diff\", \"" + target + "\") succeeded"), 1) << log.Text();
  ExpectNoTempFiles(Join(product, "bin"));
}

TEST_F(ProcessDiffTest, TruncatedOrForeignDifferencesLeaveTheFileAndTheNextElementRuns) {
  WriteFile(target, Text(1));
  std::string diff = Diff(Text(1), Text(2));
  Run([&](StorageWriter& s) {
    s.Add("files/product/bin/module.dat.diff", diff.substr(0, diff.size() / 2));
    s.Add("files/product/bin/other/../module.dat.diff", Diff(Text(3), Text(2)));
    s.Add("files/product/bin/absent.dat.diff", diff);
    s.Add("files/product/bin/after.txt", "after");
  });
  EXPECT_EQ(ReadFile(target), Text(1));
  EXPECT_FALSE(PathExists(Join(product, "bin/absent.dat")));
  EXPECT_EQ(log.Count("ERROR ProcessDiff("), 3) << log.Text();
  EXPECT_EQ(log.Count("\") failed"), 3);
  EXPECT_EQ(Content(Join(product, "bin/after.txt")), "after");
  ExpectNoTempFiles(Join(product, "bin"));
}

}  // namespace
}  // namespace slv2::test
