// slv2pack make and verify on two small hand-made releases, run as the
// publisher runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "tools/ToolRun.h"

namespace slv2 {
namespace {

std::string Pe(const char* name) {
  return test::ReadFile(test::TestDataPath(std::string("pe/") + name));
}

// One file of the releases: its content in OLD and in NEW (none: not there)
// and the element the storage carries for it ("": none).
struct Row {
  std::string path;
  std::optional<std::string> oldContent, newContent;
  std::string element;
};

const std::string kText = [] {
  std::string text;
  for (int i = 0; text.size() < 60000; ++i)
    text += "line " + std::to_string(i * 7919 % 10007) + " of the manual\n";
  return text;
}();

const std::vector<Row> kRows = {
    {"product/same.txt", "same", "same", ""},
    {"product/doc/manual.txt", kText, "edited " + kText, "files/product/doc/manual.txt.diff"},
    {"product/small.txt", "abc", "xyz", "files/product/small.txt"},
    {"product/add/new.txt", std::nullopt, "fresh", "files/product/add/new.txt"},
    {"product/doc/dropped.txt", "dropped", std::nullopt, ""},
    {"product/gone/a.txt", "a", std::nullopt, ""},
    {"solvane/shell.txt", std::nullopt, "shell", "files/solvane/shell.txt"},
    // Names longer than an element's travel under short names.
    {"product/a folder name longer than thirty-one/new.txt", std::nullopt, "long",
     "files/product/~name2"},
    {"product/doc/changed manual of 30 chars.txt", kText, kText + "end",
     "files/product/~name3.diff"},
    {"product/~Name1", std::nullopt, "a name the short names step over", "files/product/~Name1"},
    // Kept by the updater: an older version, and a lost version block.
    {"product/app.exe", Pe("ver_1_10_0_0.exe"), Pe("ver_1_9_0_0.exe"), "files/product/app.exe"},
    {"product/lib.dll", Pe("ver_2_1_0_12.exe"), Pe("no_version.exe"), "files/product/lib.dll"},
};
constexpr size_t kKeptRows = 2;

class MakeTest : public test::ToolTest {
 protected:
  void SetUp() override {
    for (const Row& row : kRows) {
      if (row.oldContent) test::WriteFile(dir / ("old/" + row.path), *row.oldContent);
      if (row.newContent) test::WriteFile(dir / ("new/" + row.path), *row.newContent);
    }
    test::WriteFile(dir / "extra/Delete_After.ini", "[Files]\r\n1=logs\\*.log\r\n");
    test::WriteFile(dir / "extra/registry/family.reg",
                    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Zarvik\\Solvane 2.1\\"
                    "${PRODUCT_ID}]\r\n\"release\"=\"2\"\r\n");
  }
};

TEST_F(MakeTest, RefusesFilesTheUpdaterWouldKeepUnlessAllowed) {
  test::ToolRun refused = Run({"make", dir / "old", dir / "new", dir / "out.stg"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(test::SplitLines(test::FromTerminalText(refused.err)),
            (std::vector<std::string>{
                "slv2pack: warning: NEW looks older than OLD: 1 versioned files go down, 0 up; "
                "are OLD and NEW swapped?",
                "product/app.exe: NEW's version 1.9.0.0 is older than OLD's 1.10.0.0: the "
                "updater would keep the installed file",
                "product/lib.dll: NEW's file has no version, OLD's has 2.1.0.12: the updater "
                "would keep the installed file",
                "slv2pack: 2 files would not be updated; --allow-kept makes the storage all the "
                "same"}));
  EXPECT_FALSE(test::PathExists(dir / "out.stg"));

  test::ToolRun made = Run({"make", dir / "old", dir / "new", dir / "out.stg", "--allow-kept",
                            "--compress", "--extra", dir / "extra"});
  ASSERT_EQ(made.status, 0) << made.Text();
  EXPECT_TRUE(
      made.Printed("verify: OK as product out: the update turns OLD into NEW but for 2 kept "
                   "files, 10 files equal"))
      << made.Text();
  EXPECT_TRUE(made.Printed("kept: product/app.exe (the installed file stays as OLD has it)"));
  EXPECT_TRUE(made.Printed("replaced whole:      1 file             3 bytes"));
  std::vector<std::string> elements,
      expected = {"Delete_After.ini", "registry/family.reg", "files/Names.ini"};
  for (const Row& row : kRows) {
    if (!row.element.empty()) expected.push_back(row.element);
  }
  for (const std::string& line : Run({"list", dir / "out.stg"}).OutLines()) {
    if (line.starts_with("stream\t")) elements.push_back(line.substr(line.rfind('\t') + 1));
  }
  std::sort(elements.begin(), elements.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(elements, expected);
  EXPECT_EQ(Run({"cat", dir / "out.stg", "files/Names.ini"}).OutLines(),
            (std::vector<std::string>{
                "[product]\r", "~name2=a folder name longer than thirty-one\\new.txt\r",
                "~name3=doc\\changed manual of 30 chars.txt\r", "[solvane]\r"}));
  EXPECT_EQ(Run({"cat", dir / "out.stg", "Delete_After.ini"}).OutLines(),
            (std::vector<std::string>{"[Files]\r", "1=logs\\*.log\r", "2=doc\\dropped.txt\r",
                                      "3=gone\r"}));
}

TEST_F(MakeTest, VerifyNamesTheFileAStorageFailsToUpdate) {
  for (size_t i = kRows.size() - kKeptRows; i < kRows.size(); ++i) {
    std::filesystem::remove(test::FsPath(dir / ("old/" + kRows[i].path)));
    std::filesystem::remove(test::FsPath(dir / ("new/" + kRows[i].path)));
  }
  ASSERT_EQ(Run({"make", dir / "old", dir / "new", dir / "whole.stg", "--no-verify"}).status, 0);
  ASSERT_EQ(Run({"extract", dir / "whole.stg", dir / "tree", "--raw"}).status, 0);
  std::filesystem::remove(test::FsPath(dir / "tree/files/product/add/new.txt"));
  ASSERT_EQ(Run({"build", dir / "tree", dir / "short.stg"}).status, 0);

  EXPECT_EQ(Run({"verify", dir / "old", dir / "new", dir / "whole.stg"}).status, 0);
  test::ToolRun verify = Run({"verify", dir / "old", dir / "new", dir / "short.stg"});
  EXPECT_EQ(verify.status, 1);
  EXPECT_TRUE(verify.Printed("missing: product/add/new.txt")) << verify.Text();
}

}  // namespace
}  // namespace slv2
