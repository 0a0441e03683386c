// Links planted below the product and shell folders: each step refuses what
// passes through one with an error line, replaces a link in a file's place
// with the new file, deletes links and never their targets, and nothing
// outside the folders is created, changed, deleted or read into them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "UpdaterFixture.h"
#include "sys/Cp1251.h"

namespace slv2::test {
namespace {

namespace stdfs = std::filesystem;

class LinksTest : public UpdaterFixture {
 protected:
  LinksTest() {
    // What no pupil may read, and a folder they may point at.
    WriteFile(Join(outside, "secret.ini"), "password=abc");
    ::chmod(AnsiToUtf8(Join(outside, "secret.ini")).c_str(), 0600);
    WriteFile(Join(outside, "victim.tmp"), "outside file");
  }
  void Link(const std::string& target, const std::string& at) { test::PlantPupilLink(target, at); }
  bool IsLink(const std::string& path) { return stdfs::is_symlink(AnsiToUtf8(path)); }

  struct Case {
    const char* what;
    std::function<void()> plant;
    Streams elements;
    std::vector<std::string> lines;  // held by the log
    std::function<void()> check;
  };
  void RunCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      c.plant();
      log.Clear();
      Run([&](StorageWriter& s) {
        for (const auto& [name, content] : c.elements)
          s.Add(name, content);
      });
      for (const std::string& line : c.lines)
        EXPECT_TRUE(log.Has(line)) << line << "\n" << log.Text();
      EXPECT_EQ(Entries(outside),
                (std::vector<std::string>{"secret.ini", "victim.tmp", "victim.txt"}));
      EXPECT_EQ(Content(Join(outside, "victim.txt")), "outside file");
      EXPECT_EQ(Content(Join(outside, "secret.ini")), "password=abc");
      EXPECT_EQ(Content(Join(outside, "victim.tmp")), "outside file");
      c.check();
      ExpectNoTempFiles(product);
    }
  }
};

TEST_F(LinksTest, FilesStep) {
  std::string bin = Join(product, "bin"), app = Join(product, "app.dll");
  std::string data = Join(product, "data.ini"), help = Join(shell, "help");
  RunCases({
      {"a folder link on the way",
       [&] { Link(outside, bin); },
       {{"files/product/bin/victim.txt", "new"}, {"files/product/ok.txt", "ok"}},
       {"ERROR ProcessFile(): \"" + Join(product, "bin/victim.txt") +
        "\" passes through a link, element refused"},
       [&] { EXPECT_EQ(Content(Join(product, "ok.txt")), "ok"); }},
      {"a link in a file's place",
       [&] { Link(Join(outside, "victim.txt"), app); },
       {{"files/product/app.dll", "new"}},
       {"WARN ProcessFile(): \"" + Join(product, "app.dll") +
        "\" is a link, the new file takes its place"},
       [&] {
         EXPECT_FALSE(IsLink(app));
         EXPECT_EQ(Content(app), "new");
       }},
      {"a link to an unreadable file as a difference's source",
       [&] { Link(Join(outside, "secret.ini"), data); },
       {{"files/product/data.ini.diff", "x"}},
       {},
       [&] {
         EXPECT_TRUE(IsLink(data));
         EXPECT_EQ(log.Count("ProcessDiff("), 1) << log.Text();
         EXPECT_EQ(log.Count("failed"), 1) << log.Text();
       }},
      {"a folder link in the shell folder",
       [&] { Link(outside, help); },
       {{"files/solvane/help/victim.txt", "new"}},
       {"ERROR ProcessFile(): \"" + Join(shell, "help/victim.txt") +
        "\" passes through a link, element refused"},
       [] {}},
  });
}

TEST_F(LinksTest, DeletionStep) {
  std::string tempFolder = Join(product, "temp"), file = Join(product, "old.txt");
  std::string docs = Join(product, "docs");
  RunCases({
      {"a mask through a folder link",
       [&] { Link(outside, tempFolder); },
       {{"Delete_After.ini", "[Files]\r\n1=temp\\*.tmp\r\n2=temp\\victim.txt\r\n"}},
       {"ERROR   Delete_After: \"" + Join(product, "temp\\*.tmp") +
            "\" passes through a link, refused",
        "ERROR   Delete_After: \"" + Join(product, "temp\\victim.txt") +
            "\" passes through a link, refused"},
       [] {}},
      {"links named for deletion go, their targets stay",
       [&] {
         Link(Join(outside, "victim.txt"), file);
         Link(outside, docs);
       },
       {{"Delete_Before.ini", "[Files]\r\n1=old.txt\r\n2=docs\r\n"}},
       {},
       [&] {
         EXPECT_FALSE(IsLink(file));
         EXPECT_FALSE(IsLink(docs));
       }},
  });
}

TEST_F(LinksTest, TextReplacementStep) {
  std::string ini = Join(product, "a.ini"), cfg = Join(product, "cfg"),
              fifo = Join(product, "b.ini");
  RunCases({
      {"a link to a file nobody may read, and a FIFO, in the files' places",
       [&] {
         Link(Join(outside, "secret.ini"), ini);
         ::mkfifo(AnsiToUtf8(fifo).c_str(), 0666);
       },
       {{"StrReplace_After.ini", "[1]\r\nFiles=*.ini\r\nSearchFor=abc\r\nReplaceWith=xyz\r\n"}},
       // With the system's reason on a line of its own.
       {"ERROR   StrReplace: Error reading file \"" + Join(product, "a.ini") +
            "\"\r\n  The create operation stopped after reaching a symbolic link",
        "ERROR   StrReplace: Error reading file \"" + Join(product, "b.ini") +
            "\"\r\n  The file cannot be accessed by the system"},
       [&] { EXPECT_TRUE(IsLink(ini)); }},
      {"a mask through a folder link",
       [&] { Link(outside, cfg); },
       {{"StrReplace_After.ini", "[1]\r\nFiles=cfg\\*.*\r\nSearchFor=o\r\nReplaceWith=x\r\n"}},
       {"ERROR   StrReplace: Mask \"" + Join(product, "cfg\\*.*") +
        "\" passes through a link, refused"},
       [] {}},
  });
}

TEST_F(LinksTest, UnpackingStep) {
  std::string media = Join(product, "media");
  TempDir scratch;
  RunCases({
      {"a destination that is a folder link",
       [&] {
         Link(outside, media);
         WriteFile(Join(product, "pack.stg"), CompoundFileBytes(scratch, {{"victim.txt", "new"}}));
       },
       {{"UnpackStorage.ini", "[m]\nStorage=pack.stg\nDestination=media\n"}},
       {"ERROR   UnpackStorage: \"" + Join(product, "pack.stg") + "\" or \"" +
        Join(product, "media") + "\" passes through a link, refused"},
       [&] { EXPECT_TRUE(PathExists(Join(product, "pack.stg"))); }},
  });
}

}  // namespace
}  // namespace slv2::test
