#include <gtest/gtest.h>

#include <string>

#include "storage/ZInflateStream.h"

namespace slv2 {
namespace {

std::string Deflated(const std::string& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()), 6);
  out.resize(size);
  return out;
}

TEST(ZInflateStream, InflatesInPiecesAndLeavesTheSourceJustAfterTheCompressedData) {
  std::string data(300000, '\0');
  uint32_t seed = 1;
  for (char& c : data)
    c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 24);
  std::string z = Deflated(data);
  ASSERT_GT(z.size(), 65536u);  // more than one input block
  TMemoryStream source;
  std::string element = "pre" + z + "next element";
  source.WriteBuffer(element.data(), static_cast<int32_t>(element.size()));
  source.SetPosition(3);

  TZInflateStream inflater(source);
  std::string out;
  char buffer[7777];
  while (int32_t n = inflater.Read(buffer, sizeof buffer))
    out.append(buffer, n);
  EXPECT_EQ(out, data);
  EXPECT_TRUE(inflater.Finished());
  EXPECT_EQ(inflater.Position(), static_cast<int64_t>(data.size()));
  EXPECT_EQ(source.Position(), static_cast<int64_t>(3 + z.size()));
}

TEST(ZInflateStream, ReportsZlibsTextsAndRefusesEverythingButReading) {
  TMemoryStream source;
  source.WriteBuffer("garbage!", 8);
  source.SetPosition(0);
  TZInflateStream inflater(source);
  char buffer[16];
  try {
    inflater.Read(buffer, sizeof buffer);
    FAIL();
  } catch (const EZInflateError& e) {
    EXPECT_EQ(e.Message(), "incorrect header check");
  }
  try {
    inflater.Write(buffer, 1);
    FAIL();
  } catch (const EZInflateError& e) {
    EXPECT_EQ(e.Message(), "Invalid ZStream operation!");
  }
  EXPECT_THROW(inflater.Seek(0, fs::kSeekBegin), EZInflateError);
  EXPECT_THROW(inflater.SetSize(0), EZInflateError);
}

}  // namespace
}  // namespace slv2
