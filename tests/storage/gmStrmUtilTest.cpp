#include <gtest/gtest.h>

#include <chrono>

#include "TestSupport.h"
#include "storage/gmStrmUtil.h"

namespace slv2 {
namespace {

class WholeContentTest : public ::testing::Test {
 protected:
  test::TempDir dir;
};

TEST_F(WholeContentTest, StringToStreamMakesTheStreamHoldExactlyTheString) {
  test::WriteFile(dir / "f.txt", "0123456789");
  {
    TWinFileStream file(dir / "f.txt", fs::kGenericRead | fs::kGenericWrite, 0, fs::kOpenExisting);
    file.SetPosition(7);
    EXPECT_TRUE(StringToStream("abc", file));
  }
  EXPECT_EQ(test::ReadFile(dir / "f.txt"), "abc");

  TMemoryStream memory;
  EXPECT_TRUE(StringToStream("longer text", memory));
  EXPECT_TRUE(StringToStream("", memory));
  EXPECT_EQ(memory.Size(), 0);
}

TEST_F(WholeContentTest, StreamToStringReadsFromTheBeginningUpToTheLimit) {
  TMemoryStream memory;
  memory.WriteBuffer("hello world", 11);
  std::string out = "stale";
  EXPECT_TRUE(StreamToString(memory, out));
  EXPECT_EQ(out, "hello world");
  EXPECT_TRUE(StreamToString(memory, out, 5));
  EXPECT_EQ(out, "hello");
  EXPECT_TRUE(StreamToString(memory, out, 100));
  EXPECT_EQ(out, "hello world");
  TMemoryStream empty;
  EXPECT_TRUE(StreamToString(empty, out));
  EXPECT_EQ(out, "");
}

TEST_F(WholeContentTest, FilesRoundTripAndWritingTruncates) {
  std::string name = dir / test::A("папка/файл.ini");
  EXPECT_FALSE(WriteStringToFile(name, "x"));  // the folder is missing
  test::WriteFile(dir / test::A("папка/файл.ini"), "a much longer old content");
  EXPECT_TRUE(WriteStringToFile(name, test::A("новое")));
  std::string out;
  EXPECT_TRUE(ReadFileToString(name, out));
  EXPECT_EQ(out, test::A("новое"));
  EXPECT_TRUE(ReadFileToString(name, out, 1, 0, 2));
  EXPECT_EQ(out.size(), 2u);
}

TEST_F(WholeContentTest, ReadFileToStringGivesFalseAndAnEmptyStringForWhatItCannotRead) {
  test::WriteFile(dir / "folder/x", "");
  for (const std::string& name : {std::string(), dir / "missing.txt", dir / "folder"}) {
    std::string out = "stale";
    EXPECT_FALSE(ReadFileToString(name, out)) << name;
    EXPECT_EQ(out, "") << name;
  }
}

TEST_F(WholeContentTest, ALockedFileWithOneAttemptGivesFalseAtOnce) {
  test::WriteFile(dir / "locked.txt", "secret");
  TWinFileStream holder(dir / "locked.txt", fs::kGenericRead | fs::kGenericWrite, 0,
                        fs::kOpenExisting);
  std::string out = "stale";
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ReadFileToString(dir / "locked.txt", out, 1, 500));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
  EXPECT_EQ(out, "");
  EXPECT_FALSE(WriteStringToFile(dir / "locked.txt", "x", 1, 500));
}

}  // namespace
}  // namespace slv2
