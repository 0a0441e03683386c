#include <gtest/gtest.h>

#include "TestSupport.h"
#include "storage/Stream.h"
#include "storage/WinFileStream.h"
#include "sys/WinError.h"

namespace slv2 {
namespace {

TEST(Stream, CopyFromWithCountZeroCopiesTheWholeSourceFromItsBeginning) {
  TMemoryStream source, target;
  std::string data(200000, 'x');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 7);
  source.WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  EXPECT_EQ(target.CopyFrom(source, 0), static_cast<int64_t>(data.size()));
  EXPECT_EQ(target.ToString(), data);
}

TEST(Stream, CopyFromRaisesWhenTheSourceEndsEarly) {
  TMemoryStream source, target;
  source.WriteBuffer("abc", 3);
  source.SetPosition(1);
  EXPECT_THROW(target.CopyFrom(source, 5), EReadError);
}

TEST(WinFileStream, ReportsOpenAndCreateFailuresWithTheFileName) {
  test::TempDir dir;
  try {
    TWinFileStream s(dir / "missing.txt", fs::kGenericRead, fs::kShareRead, fs::kOpenExisting);
    FAIL();
  } catch (const EFileOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file " + (dir / "missing.txt") + ": " +
                               SysErrorMessage(kErrorFileNotFound));
  }
  EXPECT_THROW(TWinFileStream(dir / "no/dir.txt", fs::kGenericWrite, 0, fs::kCreateAlways),
               EFileOpenError);
}

}  // namespace
}  // namespace slv2
