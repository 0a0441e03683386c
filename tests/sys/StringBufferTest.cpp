#include <gtest/gtest.h>

#include "sys/StringBuffer.h"

namespace slv2 {
namespace {

TEST(StringBuffer, GrowsByDoublingOrToWhatIsNeededAndKeepsEveryByte) {
  TStringBuffer buffer(4);
  buffer.append("abcde");
  EXPECT_EQ(buffer.capacity(), 10u);
  buffer.append(std::string(30, 'x'));
  EXPECT_EQ(buffer.capacity(), 35u);
  buffer.appendChars("yz!", 2);
  buffer.appendChars("end", 0);  // up to the terminating zero
  EXPECT_EQ(buffer.toString(), "abcde" + std::string(30, 'x') + "yzend");
  EXPECT_EQ(TStringBuffer(0).capacity(), 2u);
}

TEST(StringBuffer, GetCharIsOneBasedAndRefusesOtherIndexes) {
  TStringBuffer buffer;
  buffer.append("xyz");
  EXPECT_EQ(buffer.getChar(1), 'x');
  EXPECT_EQ(buffer.getChar(3), 'z');
  EXPECT_THROW(buffer.getChar(0), EStringBuffer);
  try {
    buffer.getChar(4);
    ADD_FAILURE();
  } catch (const EStringBuffer& e) {
    EXPECT_EQ(e.Message(), "TStringBuffer.getChar(): invalid index (4)");
  }
}

}  // namespace
}  // namespace slv2
