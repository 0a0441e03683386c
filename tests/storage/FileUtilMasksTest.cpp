#include <gtest/gtest.h>

#include "TestSupport.h"
#include "storage/FileUtil.h"

namespace slv2 {
namespace {

using U = TgmFileUtil;
using test::A;

TEST(FileUtilMasks, StarMasksMatchEveryNameAndEmptyMasksNone) {
  EXPECT_TRUE(U::MatchesMask("README", "*.*", true));
  EXPECT_TRUE(U::MatchesMask("", "*", false));
  EXPECT_FALSE(U::MatchesMask("README", "", false));
}

TEST(FileUtilMasks, FoldsCaseUnlessAskedNotTo) {
  EXPECT_TRUE(U::MatchesMask("Setup.EXE", "*.exe", false));
  EXPECT_FALSE(U::MatchesMask("Setup.EXE", "*.exe", true));
  EXPECT_TRUE(U::MatchesMask(A("СПРАВКА.Txt"), A("справ*.TXT"), false));
  EXPECT_FALSE(U::MatchesMask(A("СПРАВКА.txt"), A("справ*.txt"), true));
}

TEST(FileUtilMasks, NamesWithoutExtensionAreTestedWithADot) {
  EXPECT_TRUE(U::MatchesMask("readme", "*.", false));
  EXPECT_TRUE(U::MatchesMask("readme", "read*.", false));
  EXPECT_FALSE(U::MatchesMask("readme", "readme", false));
  EXPECT_FALSE(U::MatchesMask("readme.txt", "*.", false));
  // The wildcard commitment rules apply: the first "." after the star is
  // taken, here the folder's.
  EXPECT_FALSE(U::MatchesMask("sub.d\\readme", "*.", false));
  EXPECT_FALSE(U::MatchesMask("a.txt.txt", "*.txt", false));
}

TEST(FileUtilMasks, AnyMaskTriesEachInOrder) {
  std::vector<std::string> masks{"*.hlp", "*.cnt", "old?.dll"};
  EXPECT_TRUE(U::MatchesAnyMask("APP.CNT", masks, false));
  EXPECT_TRUE(U::MatchesAnyMask("old1.dll", masks, false));
  EXPECT_FALSE(U::MatchesAnyMask("old12.dll", masks, false));
  EXPECT_FALSE(U::MatchesAnyMask("x", {}, false));
}

}  // namespace
}  // namespace slv2
