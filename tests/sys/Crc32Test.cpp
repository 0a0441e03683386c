#include <gtest/gtest.h>

#include <string>

#include "sys/Crc32.h"

namespace slv2 {
namespace {

TEST(Crc32, MatchesTheStandardCheckValueAcrossSeveralBuffers) {
  EXPECT_EQ(CalcCRC32("123456789", 9), 0xCBF43926u);
  std::string text = "The quick brown fox jumps over the lazy dog";
  uint32_t reg = UpdateCRC32(text.data(), 0xFFFFFFFFu, 10);
  EXPECT_EQ(~UpdateCRC32(text.data() + 10, reg, text.size() - 10), 0x414FA339u);
}

}  // namespace
}  // namespace slv2
