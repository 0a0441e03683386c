#include <gtest/gtest.h>

#include <string>

#include "storage/ZInflateStream.h"

namespace slv2 {
namespace {

// Inflating itself is tested through the compressed elements that use it
// (gmZLibUtilTest).
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
