#include <gtest/gtest.h>

#include "sys/StringBuffer.h"

namespace slv2 {
namespace {

TEST(StringBuffer, GrowsAcrossManyAppendsWithoutLosingBytes) {
  TStringBuffer buffer(0);
  EXPECT_EQ(buffer.capacity(), 2u);
  std::string expected;
  for (int i = 0; i < 1000; ++i) {
    std::string piece(static_cast<size_t>(i % 7), static_cast<char>('a' + i % 26));
    buffer.append(piece);
    expected += piece;
  }
  EXPECT_EQ(buffer.toString(), expected);
  EXPECT_GE(buffer.capacity(), buffer.length());
}

TEST(StringBuffer, GrowsToTwiceTheCapacityPlusOneOrToWhatIsNeeded) {
  TStringBuffer buffer(4);
  buffer.append("abcde");
  EXPECT_EQ(buffer.capacity(), 10u);
  buffer.append(std::string(30, 'x'));
  EXPECT_EQ(buffer.capacity(), 35u);
}

TEST(StringBuffer, AppendsCharsByCountOrUpToTheTerminatingZero) {
  TStringBuffer buffer;
  buffer.appendChars("abcdef", 3);
  buffer.appendChars("xyz", 0);
  buffer.appendChars("!?", -5);
  buffer.appendChars(std::string("a\0b", 3).data(), 3);
  EXPECT_EQ(buffer.toString(), std::string("abcxyz!?a\0b", 11));
}

TEST(StringBuffer, GetCharIsOneBasedAndRefusesIndexesOutsideTheText) {
  TStringBuffer buffer;
  buffer.append("xyz");
  EXPECT_EQ(buffer.getChar(1), 'x');
  EXPECT_EQ(buffer.getChar(3), 'z');
  for (int bad : {0, 4, -1}) {
    try {
      buffer.getChar(bad);
      ADD_FAILURE() << "no exception for " << bad;
    } catch (const EStringBuffer& e) {
      EXPECT_EQ(e.Message(),
                "TStringBuffer.getChar(): invalid index (" + std::to_string(bad) + ")");
      EXPECT_STREQ(e.ClassName(), "EStringBuffer");
    }
  }
}

}  // namespace
}  // namespace slv2
