#include <gtest/gtest.h>

#include "sys/StringBuffer.h"

namespace slv2 {
namespace {

TEST(StringBuffer, GrowsAndKeepsEveryByteAndRefusesIndexesOutsideIt) {
  TStringBuffer buffer(4);
  buffer.append("abcde");
  buffer.append(std::string(30, 'x'));
  buffer.appendChars("yz!", 2);
  buffer.appendChars("end", 0);  // up to the terminating zero
  EXPECT_EQ(buffer.toString(), "abcde" + std::string(30, 'x') + "yzend");
  EXPECT_EQ(buffer.getChar(1), 'a');  // counted from 1
  EXPECT_EQ(buffer.getChar(40), 'd');
  EXPECT_THROW(buffer.getChar(0), EStringBuffer);
  try {
    buffer.getChar(41);
    ADD_FAILURE();
  } catch (const EStringBuffer& e) {
    EXPECT_EQ(e.Message(), "TStringBuffer.getChar(): invalid index (41)");
  }
}

}  // namespace
}  // namespace slv2
