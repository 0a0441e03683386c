#include "sys/Crc32.h"

#include <gtest/gtest.h>

#include <string>

namespace slv2 {
namespace {

TEST(Crc32, MatchesTheStandardCheckValue) {
  EXPECT_EQ(CalcCRC32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(CalcCRC32("", 0), 0u);
}

TEST(Crc32, RegisterCarriesOverSeveralBuffers) {
  std::string text = "The quick brown fox jumps over the lazy dog";
  uint32_t reg = 0xFFFFFFFFu;
  reg = UpdateCRC32(text.data(), reg, 10);
  reg = UpdateCRC32(text.data() + 10, reg, text.size() - 10);
  EXPECT_EQ(~reg, CalcCRC32(text.data(), text.size()));
  EXPECT_EQ(~reg, 0x414FA339u);
}

}  // namespace
}  // namespace slv2
