// The in-memory ini reader, its booleans, and the line splitting it shares
// with the registry-script pass.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "updater/Slv2IniFile.h"
#include "updater/Slv2Lists.h"

namespace slv2 {
namespace {

using Lines = std::vector<std::string>;

TEST(SplitTextLinesTest, EveryLineEndAndTheZeroByte) {
  EXPECT_EQ(SplitTextLines("a\r\nb\nc\rd\n\ne\r\n"), (Lines{"a", "b", "c", "d", "", "e"}));
  EXPECT_EQ(SplitTextLines(std::string("a\nb\0c\nd", 7)), (Lines{"a", "b"}));
  EXPECT_TRUE(SplitTextLines(std::string("\0abc", 4)).empty());
}

TEST(TSlv2IniFileTest, SectionsLinesAndValues) {
  TSlv2IniFile ini;
  ASSERT_TRUE(
      ini.SetText("before=ignored\n; comment\n  [ First ]  \n key = value = more \n\njust a line\n"
                  "[second]\r\nKey=2\r\nkey=3\r\n"));
  ASSERT_EQ(ini.Sections().size(), 2u);
  const TSlv2IniFile::Section& first = ini.Sections()[0];
  EXPECT_EQ(first.Name, "First");
  EXPECT_EQ(first.Lines, (Lines{"key=value = more", "just a line"}));
  EXPECT_EQ(first.Values(), (Lines{"value = more", "just a line"}));
  EXPECT_EQ(first.ReadString("just a line", "def"), "def");
  EXPECT_EQ(ini.FindSection("SECOND")->ReadString("KEY"), "2");
  // Brackets alone open a section without a name.
  ASSERT_TRUE(ini.SetText("[]\nk=v\n"));
  EXPECT_EQ(ini.FindSection("")->Lines, Lines{"k=v"});
  EXPECT_FALSE(ini.SetText(""));
  EXPECT_TRUE(ini.Sections().empty());
  // What many editors write: UTF-8 behind its byte-order mark.
  ASSERT_TRUE(ini.SetText("\xEF\xBB\xBF; first\r\n[Files]\r\nSearchFor=Заголовок\r\n"));
  EXPECT_EQ(ini.FindSection("Files")->Lines, Lines{test::A("SearchFor=Заголовок")});
}

TEST(ParseIniBoolTest, OnlyTheFalseWordsAreFalse) {
  for (std::string value : {std::string(), std::string("False"), std::string("fALSE"),
                            std::string("0"), test::A("Ложь")})
    EXPECT_FALSE(ParseIniBool(value)) << value;
  // Only Latin letters fold; nothing else is false.
  for (std::string value : {test::A("ЛОЖЬ"), std::string("no"), std::string("Yes"),
                            std::string("00"), std::string(" 0")})
    EXPECT_TRUE(ParseIniBool(value)) << value;
}

}  // namespace
}  // namespace slv2
