// Whether a path a storage names stays inside the folder it is meant for.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "updater/Slv2Paths.h"

namespace slv2 {
namespace {

TEST(PathWithinTest, ComponentsCompareIgnoringCaseInEitherForm) {
  EXPECT_TRUE(PathWithin("/opt/z/p", "/opt/Z/P/./bin/../a.dll", false));
  EXPECT_TRUE(PathWithin("/opt/z/p/", "/opt/z/p/bin\\a.dll", false));
  EXPECT_TRUE(PathWithin("C:\\Programs\\Family", "c:/programs/family/Bin/a.dll", false));
  EXPECT_TRUE(PathWithin("\\\\srv\\share\\f", "\\\\SRV\\share\\f\\a", false));
  EXPECT_TRUE(PathWithin(test::A("C:\\Программы"), test::A("C:\\ПРОГРАММЫ\\a"), false));
  EXPECT_TRUE(PathWithin("/opt/z/p", "/opt/z/p/.", true));
  EXPECT_FALSE(PathWithin("/opt/z/p", "/opt/z/p", false));
}

TEST(PathWithinTest, ClimbingOutOtherFoldersAndOtherFormsAreOutside) {
  EXPECT_FALSE(PathWithin("/opt/z/p", "/opt/z/p/bin/../../../../etc/passwd", false));
  EXPECT_FALSE(PathWithin("/opt/z/p", "/opt/z/pp/a.dll", false));
  EXPECT_FALSE(PathWithin("C:\\P\\F", "C:\\P\\F\\..\\..\\a.dll", false));
  EXPECT_FALSE(PathWithin("C:\\P", "D:\\P\\a.dll", false));
  EXPECT_FALSE(PathWithin("/opt/z/p", "opt/z/p/a", false));
  EXPECT_FALSE(PathWithin("/opt/z/p", "//opt/z/p/a", false));
  EXPECT_FALSE(PathWithin("C:\\P", "\\P\\a", false));
  EXPECT_FALSE(PathWithin("", "anything", true));
}

TEST(ElementNameTest, ControlCharactersAreFoundAndShownAsQuestionMarks) {
  EXPECT_TRUE(HasControlCharacters("new\nline"));
  EXPECT_TRUE(HasControlCharacters("esc\x1b[2J"));
  EXPECT_TRUE(HasControlCharacters("del\x7f"));
  EXPECT_FALSE(HasControlCharacters(test::A("Файл 1.txt")));
  EXPECT_EQ(PrintableName("a\tb\r\nc\x1b"), "a?b??c?");
}

}  // namespace
}  // namespace slv2
