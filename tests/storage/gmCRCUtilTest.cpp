#include <gtest/gtest.h>

#include <string>

#include "storage/gmCRCUtil.h"
#include "sys/Crc32.h"

namespace slv2 {
namespace {

TEST(gmCRCUtil, ChecksumsRangesOfAStreamAcrossItsReadBlocks) {
  std::string data(10000, '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i % 251);
  TMemoryStream s;
  s.WriteBuffer(data.data(), static_cast<int32_t>(data.size()));

  EXPECT_EQ(StreamCRC32(s), CalcCRC32(data.data(), data.size()));
  EXPECT_EQ(StreamCRC32(s, 0, 10000), CalcCRC32(data.data(), data.size()));
  EXPECT_EQ(StreamCRC32(s, 4095, 8193), CalcCRC32(data.data() + 4095, 8193 - 4095));
  EXPECT_EQ(StreamCRC32(s, 500, 500), 0u);
  EXPECT_EQ(StreamCRC32(s, 600, 500), 0u);
  // A range past the end covers what is there.
  EXPECT_EQ(StreamCRC32(s, 9990, 20000), CalcCRC32(data.data() + 9990, 10));
  TMemoryStream empty;
  EXPECT_EQ(StreamCRC32(empty), 0u);
}

}  // namespace
}  // namespace slv2
