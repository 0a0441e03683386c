// The in-memory ini reader and the line splitting it shares with the
// registry-script pass.
#include <gtest/gtest.h>

#include "updater/Slv2IniFile.h"

namespace slv2 {
namespace {

using Lines = std::vector<std::string>;

TEST(SplitTextLinesTest, EveryLineEndAndTheZeroByte) {
  EXPECT_EQ(SplitTextLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitTextLines("a\n\nb\r\n"), (Lines{"a", "", "b"}));
  EXPECT_EQ(SplitTextLines("\n"), (Lines{""}));
  EXPECT_EQ(SplitTextLines(std::string("a\nb\0c\nd", 7)), (Lines{"a", "b"}));
  EXPECT_TRUE(SplitTextLines(std::string("\0abc", 4)).empty());
  EXPECT_TRUE(SplitTextLines("").empty());
}

TEST(TSlv2IniFileTest, SectionsLinesAndValues) {
  TSlv2IniFile ini;
  ASSERT_TRUE(ini.SetText(
      "before=ignored\n; comment\n  [ First ]  \n key = value = more \n\n"
      "just a line\n  ;also a comment\n[second]\r\nKey=2\r\nkey=3\r\n[]\n[broken\nx=1\n"));
  ASSERT_EQ(ini.Sections().size(), 3u);
  const TSlv2IniFile::Section& first = ini.Sections()[0];
  EXPECT_EQ(first.Name, "First");
  EXPECT_EQ(first.Lines, (Lines{"key=value = more", "just a line"}));
  EXPECT_EQ(first.Values(), (Lines{"value = more", "just a line"}));
  EXPECT_EQ(first.ReadString("KEY"), "value = more");
  EXPECT_EQ(first.ReadString("just a line", "def"), "def");
  // The first of two lines of one key counts; section names ignore case.
  EXPECT_EQ(ini.FindSection("SECOND")->ReadString("key"), "2");
  EXPECT_EQ(ini.FindSection("missing"), nullptr);
  // "[broken" is a line of the unnamed section before it.
  EXPECT_EQ(ini.Sections()[2].Name, "");
  EXPECT_EQ(ini.Sections()[2].Lines, (Lines{"[broken", "x=1"}));
}

TEST(TSlv2IniFileTest, TextWithoutLinesGivesFalseAndAnEmptyIni) {
  TSlv2IniFile ini;
  ASSERT_TRUE(ini.SetText("[a]\nb=c\n"));
  EXPECT_FALSE(ini.SetText(""));
  EXPECT_TRUE(ini.Sections().empty());
  EXPECT_TRUE(ini.SetText("; only a comment"));
  EXPECT_TRUE(ini.Sections().empty());
}

TEST(TSlv2IniFileTest, TenThousandSectionsKeepTheirOrderAndValues) {
  std::string text;
  for (int i = 0; i < 10000; ++i)
    text += "[s]\nStorage=" + std::to_string(i) + "\n";
  TSlv2IniFile ini;
  ASSERT_TRUE(ini.SetText(text));
  ASSERT_EQ(ini.Sections().size(), 10000u);
  EXPECT_EQ(ini.Sections()[9999].ReadString("storage"), "9999");
}

}  // namespace
}  // namespace slv2
