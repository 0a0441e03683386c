// What each step decides, recorded by the dry run's effects: the version
// rule, merges, differences, deletions, text replacements, unpacking and
// registry scripts, and the elements and entries each step refuses. The
// machine stays as it was; the changes themselves are the executing effects'
// (Slv2ExecutingEffectsTest*.cpp, the fault sweep).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "UpdaterFixture.h"
#include "sys/registry/RegFunctions.h"

namespace slv2::test {
namespace {

struct Row {
  const char* what;
  Streams installed;  // below the product folder
  Streams elements;   // of the update storage
  std::vector<std::string> outcomes;
  std::vector<std::string> errors;   // a part of each error line, in order
  std::function<void()> plant = {};  // what a row needs besides its files
};

class StepDecisionsTest : public UpdaterFixture {
 protected:
  void Check(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      SCOPED_TRACE(row.what);
      std::filesystem::remove_all(FsPath(product));
      WriteFile(Join(product, "keep.txt"), "product file");
      for (const auto& [path, content] : row.installed)
        WriteFile(Join(product, path), content);
      if (row.plant) row.plant();
      Tree before = TreeSnapshot(shell);
      log.Clear();
      // What a run on the storage's streams would do, one outcome a line as
      // the dry run lists it: "<kind> <target>[ (...)][: detail][; value...][
      // - would fail: why]", the target "/"-delimited and relative to the
      // product folder.
      std::unique_ptr<TSlv2Updater> updater = Run(row.elements, true);
      std::vector<std::string> outcomes;
      for (const TSlv2Outcome& o : updater->Outcomes()) {
        // The protocol's line without its column: the kind padded to 8, a blank.
        std::string line = OutcomeKindName(o.kind) + (" " + OutcomeLine(o).substr(9));
        for (size_t at; (at = line.find("\n      ")) != std::string::npos;)
          line.replace(at, 7, "; ");
        size_t end = std::min(line.find("; "), line.size());
        std::string head = line.substr(0, end);
        for (const auto& [folder, relative] : {std::pair{product, ""}, {shell, "../"}})
          for (size_t at; (at = head.find(Join(folder, ""))) != std::string::npos;)
            head.replace(at, folder.size() + 1, relative);
        std::replace(head.begin(), head.end(), '\\', '/');
        outcomes.push_back(head + line.substr(end));
      }
      // An expected line that ends at "would fail: " takes any reason.
      for (size_t i = 0; i < std::min(outcomes.size(), row.outcomes.size()); ++i)
        if (row.outcomes[i].ends_with("would fail: ")) outcomes[i].resize(row.outcomes[i].size());
      EXPECT_EQ(outcomes, row.outcomes) << log.Text();
      std::vector<std::string> errors;
      for (const std::string& line : log.Lines())
        if (line.starts_with("ERROR")) errors.push_back(line);
      EXPECT_EQ(errors.size(), row.errors.size()) << log.Text();
      for (size_t i = 0; i < std::min(errors.size(), row.errors.size()); ++i)
        EXPECT_NE(errors[i].find(row.errors[i]), std::string::npos) << errors[i];
      // A decision changes nothing.
      EXPECT_EQ(TreeDifferences(before, TreeSnapshot(shell)), "");
      ExpectNoTempFiles(product);
    }
  }
  std::string Compound(const Streams& streams) { return CompoundFileBytes(scratch, streams); }

  TempDir scratch;
};

TEST_F(StepDecisionsTest, FileElements) {
  const std::string v1_9 = PeFile("ver_1_9_0_0.exe"), v1_10 = PeFile("ver_1_10_0_0.exe"),
                    none = PeFile("no_version.exe"), noResources = PeFile("no_resources.exe");
  // Large enough that a difference copies from the installed file.
  auto text = [](int version) {
    std::string lines;
    for (int i = 0; i < 3000; ++i)
      lines += "line " + std::to_string(i * version) + " of the installed file\n";
    return lines;
  };
  const std::string one = text(1), two = text(2), diff = DifferenceBytes(scratch, one, two);
  std::string lying = CompressedElement("twelve bytes");
  lying[4] ^= 0x40;  // the stated size, scrambled with the key byte
  const std::string longFolder = "a folder name longer than thirty-one characters";
  const std::string longPath = longFolder + "/a file name longer than thirty-one.txt";
  const std::vector<Row> rows = {
      // A packed element comes out as the fault sweep's real run shows.
      {"new files, in new folders, and names that only look like a difference or a control",
       {{"bin/other.dll", "x"}},
       {{"files/product/bin/app.dll", "app"},
        {"files/product/" + A("Файл 1.txt"), "letters above the control characters' codes"},
        {"files/product/fresh/deeper/new.txt", "new"},
        {"files/product/x.DIFF", "x"},
        {"files/solvane/new.txt", "shell"}},
       {"new bin/app.dll", "new fresh/deeper/new.txt", "new x.DIFF", "new " + A("Файл 1.txt"),
        "new ../new.txt"},
       {}},
      {"a new file where a file stands in the way of its folder",
       {{"blocked", "a file"}},
       {{"files/product/blocked/deeper/new.txt", "new"}, {"files/product/after.txt", "after"}},
       {"new after.txt"},
       {"blocked"}},
      // How a file without a version compares is the version reader's.
      {"the version rule",
       {{"a.exe", v1_10}, {"b.exe", v1_9}, {"c.exe", v1_9}, {"d.exe", none}},
       {{"files/product/a.exe", v1_9},
        {"files/product/b.exe", v1_10},
        {"files/product/c.exe", v1_9},
        {"files/product/d.exe", noResources}},
       {"keep a.exe (installed 1.10.0.0, new 1.9.0.0)",
        "replace b.exe (installed 1.9.0.0, new 1.10.0.0)",
        "replace c.exe (installed 1.9.0.0, new 1.9.0.0)",
        "replace d.exe (installed no version, new no version)"},
       {}},
      {"an element that does not come out, and the next one",
       {{"lied.dll", "installed"}},
       {{"files/product/lied.dll", lying}, {"files/product/after.dll", "after"}},
       {"new after.dll"},
       {"ProcessFile() failed: ESlvUpdater (Error extracting \"lied.dll\""}},
      {"elements leading out of their folder, or named with control characters",
       {},
       {{"files/product/../../evil.txt", "x"},
        {"files/product/sub/../../../evil.txt.patch", "x"},
        {"files/product/../../outside/victim.txt.diff", "x"},
        {"files/solvane/../evil.txt", "x"},
        {"files/product/forged\nERROR line.txt", "x"},
        {"files/product/del\x7f.txt", "x"},
        {"files/product/ok/../fine.txt", "fine"}},
       {"new fine.txt"},
       {"ProcessDiff(): \"../../outside/victim.txt.diff\" leads outside",
        "ProcessFile(): \"../../evil.txt\" leads outside \"" + product + "\", element refused",
        "ProcessPatch(): \"sub/../../../evil.txt.patch\" leads outside",
        "ProcessFiles(): \"del?.txt\" is not a valid file name",
        "ProcessFiles(): \"forged?ERROR line.txt\" is not a valid file name, element refused",
        "ProcessFile(): \"../evil.txt\" leads outside \"" + shell + "\""}},
      {"the name map: long paths, and mapped names that are no path inside the folder",
       {{longFolder + "/other.txt", "x"}, {"help/other.txt", "x"}},
       {{"files/Names.ini", "[product]\r\n~name1=" + longFolder +
                                "\\a file name longer than thirty-one.txt" +
                                "\r\n~name2=..\\..\\evil.txt\r\n~name3=\\abs\\evil.txt\r\n"
                                "~name4=sub\\x\x1b.txt\r\n~name5=C:evil.txt\r\n"
                                "~name6=sub\\.\\x.txt\r\n[solvane]\r\n~name1=help.txt\r\n"},
        {"files/product/~name1", "x"},
        {"files/product/~name2", "x"},
        {"files/product/~name3", "x"},
        {"files/product/~name4", "x"},
        {"files/product/~name5", "x"},
        {"files/product/~name6", "x"},
        {"files/solvane/~name1", "shell"},
        {"files/product/unmapped.txt", "plain"}},
       {"new " + longPath, "new unmapped.txt", "new ../help.txt"},
       {"\"~name2\" maps to \"../../evil.txt\", which is no path inside the folder; element "
        "refused",
        "\"~name3\" maps to", "\"~name4\" maps to", "\"~name5\" maps to", "\"~name6\" maps to"}},
      // A missing target fails where a plain one does: at its opening.
      {"merges into compound files; a target or patch that is no compound file",
       {{"data.mdb", Compound({{"a", "a"}})},
        {"plain.mdb", "plain text"},
        {"good.mdb", Compound({{"a", "a"}})}},
       {{"files/product/data.mdb.patch", Compound({{"b", "b"}})},
        {"files/product/plain.mdb.patch", Compound({{"b", "b"}})},
        {"files/product/good.mdb.patch", "not a compound file"}},
       {"merge data.mdb", "merge good.mdb - would fail: ", "merge plain.mdb - would fail: "},
       {"ProcessPatch", "ProcessPatch"}},
      // A damaged difference is the decoder's; here one for another version.
      {"differences: applied, in place already, for another version, missing",
       {{"m.dat", one}, {"done.dat", two}, {"other.dat", text(3)}},
       {{"files/product/m.dat.diff", diff},
        {"files/product/done.dat.diff", diff},
        {"files/product/other.dat.diff", diff},
        {"files/product/absent.dat.diff", diff}},
       {"diff m.dat", "diff done.dat: already up to date",
        "diff other.dat - would fail: the installed file is another version",
        "diff absent.dat - would fail: the installed file is missing"},
       {"ProcessDiff(): \"" + Join(product, "other.dat") + "\" would fail",
        "ProcessDiff(): \"" + Join(product, "absent.dat") + "\" would fail"}},
  };
  Check(rows);
  ExpectOutsideUntouched();
}

TEST_F(StepDecisionsTest, IniDrivenSteps) {
  std::string alternating;
  for (int i = 0; i < 5000; ++i)
    alternating += "ab";
  std::string section;
  for (int i = 0; section.size() < 48 * 1024; ++i)
    section += "Value" + std::to_string(i) + "=some old setting\r\n";
  const std::string p = Join(product, "");
  std::string damaged = CompressedElement("[Files]\n1=keep.txt\n");
  damaged[8] ^= 1;  // the checksum
  const std::vector<Row> rows = {
      {"ini files too large or damaged, ignored",
       {},
       {{"Delete_Before.ini", CompressedElement("[Files]\n" + std::string(8 << 20, ';'))},
        {"Delete_After.ini", damaged}},
       {},
       {"LoadIniFromStorage(): \"Delete_Before.ini\" is larger than 4194304 bytes, ignored",
        "LoadIniFromStorage(): \"Delete_After.ini\" is damaged, ignored"}},
      // A mask's letter case is the file layer's (FileLayerTest).
      {"deletions: a file, a folder, the files of a mask, a mask and a name that find nothing",
       {{"bin/old.dll", "x"},
        {"docs/sub/b.txt", "x"},
        {"temp/a.tmp", "x"},
        {"temp/keep.txt", "x"},
        {"temp/sub/c.tmp", "x"},
        {"temp/dir.tmp/d.txt", "x"}},
       {{"Delete_After.ini",
         "[Files]\r\n1=bin\\old.dll\r\n2 = docs\r\n3=temp\\*.tmp\r\n"
         "4=nothing\\*.xyz\r\n5=missing.txt\r\n"}},
       {"delete bin/old.dll", "delete docs: folder", "delete temp/a.tmp"},
       {}},
      {"deletions outside the family's folders or naming them; the shell folder is the family's",
       {{"../old/shell.old", "x"}},
       {{"Delete_After.ini",
         "[Files]\n1=..\\..\\outside\\victim.txt\n2=..\\..\\outside\n3=..\\..\\outside\\*.*\n"
         "4=.\n5=..\n6=bin\\..\\..\\..\n7=..\\old\\shell.old\n8=/../../../outside\n"}},
       {"delete ../old/shell.old"},
       std::vector<std::string>(7, "lies outside the product and shell folders, refused")},
      {"a replacement by a mask in every subfolder; a folder, a file too large to read",
       {{"a.ini", "Path=ABC abc aBc"},
        {"sub/deeper/b.ini", "abc"},
        {"c.txt", "abc"},
        {"dir.ini/inner.txt", "abc"}},
       {{"StrReplace_After.ini",
         "[one]\nSearchFor=abc\nReplaceWith=xyz\nIgnoreCase=1\nFiles=*.ini\n"}},
       {"text a.ini (3)", "text sub/deeper/b.ini (1)"},
       {"Error reading file \"" + p + "huge.ini\""},
       [&] {
         WriteFile(p + "huge.ini", "abc");
         std::filesystem::resize_file(FsPath(p + "huge.ini"), (64 << 20) + 1);
       }},
      // The expression's groups, templates and broken patterns are the
      // matcher's (RegExTest).
      {"an expression, macros in the search",
       {{"conf/a.cfg", "ABC abc"}, {"paths.reg", "\"Root\"=\"" + Doubled(product) + "\\\\data\""}},
       {{"StrReplace_After.ini",
         "[case]\nSearchFor=abc\nReplaceWith=[$0]\nIsRegExp=1\nIgnoreCase=1\nFiles=conf\\a.cfg\n"
         "[macro]\nSearchFor=${PRODUCT_ROOT}\\\\data\nReplaceWith=${PRODUCT_ID}\nFiles=*.reg\n"}},
       {"text conf/a.cfg (1)", "text paths.reg (1)"},
       {}},
      // Expressions whose matching recurses once per character complete over
      // files of realistic size; one that reaches the matcher's limits is an
      // error.
      {"long files searched whole, or left with an error",
       {{"ab.txt", alternating + "c"},
        {"old.ini", "[Keep]\r\nA=1\r\n[Old]\r\n" + section + "[Next]\r\nB=2\r\n"},
        {"exp.txt", std::string(40, 'a') + "!"}},
       {{"StrReplace_After.ini",
         "[1]\nSearchFor=(a|b)*c\nReplaceWith=x\nIsRegExp=1\nFiles=ab.txt\n"
         "[2]\nSearchFor=\\[Old\\]((?!\\r\\n\\[).)*\\r\\n\nReplaceWith=x\nIsRegExp=1\nFiles=old."
         "ini\n"
         "[3]\nSearchFor=^(a+)+$\nReplaceWith=x\nIsRegExp=1\nFiles=exp.txt\n"}},
       {"text ab.txt (1)", "text old.ini (1)"},
       {"Error searching file \"" + p +
        "exp.txt\": the regular expression reached the match limit"}},
      {"masks outside the family's folders; the shell folder is the family's",
       {{"../../evil.ini", "abc"}},
       {{"StrReplace_After.ini",
         "[b]\nSearchFor=abc\nReplaceWith=x\nFiles=..\\..\\*.ini\n"
         "[c]\nSearchFor=shell\nReplaceWith=x\nFiles=..\\*.txt\n"}},
       {"text ../shell.txt (1)", "text keep.txt (0)"},
       {"lies outside the product and shell folders, refused"}},
      {"a nested storage unpacked, and one that is not there",
       {{"media/pack.stg", Compound({{"a.txt", "a"}, {"img/b.png", "b"}})}},
       {{"UnpackStorage.ini",
         "[media]\nStorage=media\\pack.stg\nDestination=media\n"
         "[absent]\nStorage=none.stg\nDestination=x\n"}},
       {"unpack media/pack.stg (2): to media"},
       {}},
      {"nested storages that do not open or lie outside; the next step goes on",
       {{"bad.stg", "not a compound file"}},
       {{"UnpackStorage.ini",
         "[bad]\nStorage=bad.stg\nDestination=.\n"
         "[from]\nStorage=..\\..\\outside\\victim.txt\nDestination=.\n"
         "[to]\nStorage=bad.stg\nDestination=..\\..\\outside\n"},
        {"files/product/after.txt", "after"}},
       {"new after.txt"},
       {"UnpackStorage: Error opening storage: EgmStorage (",
        "lies outside the product and shell folders, refused",
        "lies outside the product and shell folders, refused"}},
#ifndef _WIN32
      {"a nested storage that is a pupil's link, and a destination through one",
       {{"pack.stg", Compound({{"a.txt", "a"}})}},
       {{"UnpackStorage.ini",
         "[s]\nStorage=linked.stg\nDestination=.\n"
         "[d]\nStorage=pack.stg\nDestination=media\n"}},
       {},
       {"\"" + p + "linked.stg\" or \"" + product + "\" passes through a link, refused",
        "\"" + p + "pack.stg\" or \"" + p + "media\" passes through a link, refused"},
       [&] {
         PlantPupilLink(Join(outside, "victim.txt"), p + "linked.stg");
         PlantPupilLink(outside, p + "media");
       }},
#endif
      {"every step in its fixed order",
       {{"early.txt", "a"}, {"late.txt", "a"}, {"pack.stg", Compound({{"unpacked.txt", "u"}})}},
       {{"Delete_After.ini", "[Files]\n1=late.txt\n"},
        {"StrReplace_After.ini", "[late]\nSearchFor=a\nReplaceWith=b\nFiles=late.txt\n"},
        {"UnpackStorage.ini", "[u]\nStorage=pack.stg\nDestination=.\n"},
        {"StrReplace_Before.ini", "[early]\nSearchFor=a\nReplaceWith=b\nFiles=early.txt\n"},
        {"Delete_Before.ini", "[Files]\n1=early.txt\n"},
        {"files/product/new.txt", "n"},
        {"registry/empty.reg", "REGEDIT4\r\n"}},
       {"delete early.txt", "text early.txt (1)", "unpack pack.stg (1): to ../testprod",
        "new new.txt", "registry empty.reg", "delete late.txt", "text late.txt (1)"},
       {}},
      // Last: the shell folder stays unknown, and with it every folder.
      {"an unknown shell folder: no step goes near the drive's root",
       {},
       {{"Delete_Before.ini", "[Files]\n1=*.*\n"},
        {"StrReplace_Before.ini", "[r]\nSearchFor=a\nReplaceWith=b\nFiles=*.*\n"},
        {"UnpackStorage.ini", "[u]\nStorage=pack.stg\nDestination=.\n"},
        {"files/product/x.txt", "x"},
        {"files/solvane/y.txt", "y"}},
       {},
       {"Delete_Before: Product folder is unknown, 1 entries not processed",
        "StrReplace: Product folder is unknown, no files processed",
        "UnpackStorage: Product folder is unknown, storage not unpacked",
        "Destination folder of \"product\" is unknown, its files are skipped",
        "Destination folder of \"solvane\" is unknown, its files are skipped"},
       [] { InstallShell(FamilyLayout::Machine21, ""); }},
  };
  Check(rows);
  ExpectOutsideUntouched();
}

// What a script sets or deletes, as its import would: macros expanded (in
// UTF-8 within a script in UTF-8), a 16-bit script taken as it is.
TEST_F(StepDecisionsTest, RegistryScripts) {
  const std::string key = "[HKEY_LOCAL_MACHINE\\Software\\Test]";
  const std::u16string wide =
      u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n\"Wide\"=\"${PRODUCT_ID}\"\r\n";
  const std::vector<Row> rows = {
      // One that is no registry script fails as its import would; the next
      // ones go on.
      {"scripts with macros, in UTF-8, in UTF-16, and a file that is no script",
       {},
       {{"registry/0.reg", "notes\r\n"},
        {"registry/1.reg", "REGEDIT4\n\n" + key +
                               "\n\"Root\"=\"${PRODUCT_ROOT}\"\n"
                               "\"Id\"=\"${PRODUCT_ID}\"\n\"Other\"=\"${OTHER}\"\n"},
        {"registry/sub/2.reg",
         CompressedElement(
             "REGEDIT4\r\n\r\n" + key +
             "\r\n\"2\"=\"2\"\r\n\"Gone\"=-\r\n[-HKEY_LOCAL_MACHINE\\Software\\Old]\r\n")},
        {"registry/utf8.reg", "\xEF\xBB\xBFREGEDIT4\r\n\r\n" + key +
                                  "\r\n\"Name\"=\"Словарь\"\r\n\"Root\"=\"${SLV21_ROOT}\"\r\n"},
        {"registry/wide.reg",
         std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2)}},
       {"registry sub/2.reg; " + key +
            "; \"2\"=\"2\"; \"Gone\"=-; [-HKEY_LOCAL_MACHINE\\Software\\Old]",
        "registry 0.reg - would fail: the script was not imported",
        "registry 1.reg; " + key + "; \"Root\"=\"" + product +
            "\"; \"Id\"=\"testprod\"; "
            "\"Other\"=\"${OTHER}\"",
        "registry utf8.reg; " + key + "; \"Name\"=\"" + A("Словарь") + "\"; \"Root\"=\"" + shell +
            "\"",
        "registry wide.reg; " + key + "; \"Wide\"=\"${PRODUCT_ID}\""},
       {"0.reg\" is not a registry script)", "registry script \"0.reg\" failed"}},
      // Last: the product folder stays unknown.
      {"a script naming an unknown folder",
       {},
       {{"registry/1.reg", "REGEDIT4\n\n" + key + "\n\"Root\"=\"${PRODUCT_ROOT}\\\\bin\"\n"}},
       {"registry 1.reg - would fail: the script was not imported"},
       {"refers to ${PRODUCT_ROOT}, which is unknown)", "registry script \"1.reg\" failed"},
       [] { InstallProduct(FamilyLayout::Machine21, "testprod", ""); }},
  };
  Check(rows);
}

// Later steps of a dry run (the shell's finishing pass) see the keys and
// values it would have moved or written and the folders it would have
// moved, while the registry stays as it was.
TEST_F(StepDecisionsTest, TheOverlayShowsLaterStepsWhatTheRunWouldHaveChanged) {
  const reg::HKey user = reg::kHkeyCurrentUser, local = reg::kHkeyLocalMachine;
  const std::string from = "\\Software\\Zarvik\\Solvane", to = "\\Software\\Zarvik\\Solvane 2.1";
  SetRegString(user, from + "\\ege", "root", "ege");
  SetRegString(user, from + "\\math", "root", "math");
  const KeyTree registryBefore = DumpRegKey(local, to);
  std::shared_ptr<TSlv2Overlay> overlay = MakeOverlay();
  std::unique_ptr<TSlv2Effects> first = MakeRecordingEffects(log.Category(), overlay);
  std::unique_ptr<TSlv2Effects> later = MakeRecordingEffects(log.Category(), overlay);
  std::vector<std::string> links;
  const TSlv2Outcome change(TSlv2OutcomeKind::Shell, "shell");
  EXPECT_TRUE(first->CopyKey(user, from + "\\ege", local, to + "\\Old\\", change));
  EXPECT_TRUE(first->MoveKey(user, from + "\\math", local, to + "\\math", change));
  first->WriteString(local, to + "\\main", "Group", "new group");
  EXPECT_TRUE(first->MoveFolder(dir / "old", dir / "new", links, change));

  EXPECT_TRUE(later->KeyExists(local, to + "\\OLD"));
  EXPECT_EQ(later->ReadString(local, to + "\\old", "ROOT"), "ege");
  EXPECT_FALSE(later->KeyExists(user, from + "\\math"));
  EXPECT_EQ(later->ReadString(user, from + "\\math", "root"), "");
  EXPECT_EQ(later->ReadString(local, to + "\\Main", "group"), "new group");
  EXPECT_EQ(later->Located(dir / "new/sub/a.lnk"), dir / "old/sub/a.lnk");
  EXPECT_EQ(later->Located(dir / "newer"), dir / "newer");
  EXPECT_EQ(RegReadStringDef(user, from + "\\math", "root", ""), "math");
  EXPECT_EQ(DumpRegKey(local, to), registryBefore);
}

}  // namespace
}  // namespace slv2::test
