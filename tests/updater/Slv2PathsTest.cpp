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

}  // namespace
}  // namespace slv2
