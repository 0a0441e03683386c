// Streams: copies between them, the file stream's failures and retries,
// whole contents to strings and files and back, checksums of ranges.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>

#include "TestSupport.h"
#include "storage/gmCRCUtil.h"
#include "storage/gmStrmUtil.h"
#include "sys/Crc32.h"
#include "sys/WinError.h"

namespace slv2 {
namespace {

using namespace std::chrono_literals;
constexpr uint32_t kReadWrite = fs::kGenericRead | fs::kGenericWrite;

TMemoryStream Memory(const std::string& data) {
  TMemoryStream s;
  s.WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  return s;
}

TEST(Stream, CopyFromWithCountZeroCopiesTheWholeSourceFromItsBeginningElseRaisesWhenShort) {
  std::string data(200000, 'x');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 7);
  TMemoryStream source = Memory(data), target;
  EXPECT_EQ(target.CopyFrom(source, 0), static_cast<int64_t>(data.size()));
  EXPECT_EQ(target.ToString(), data);
  source.SetPosition(199998);
  EXPECT_THROW(target.CopyFrom(source, 5), EReadError);
}

TEST(Stream, ChecksumsRangesAcrossReadBlocks) {
  std::string data(10000, '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i % 251);
  TMemoryStream s = Memory(data), empty;
  EXPECT_EQ(StreamCRC32(s), CalcCRC32(data.data(), data.size()));
  EXPECT_EQ(StreamCRC32(s, 4095, 8193), CalcCRC32(data.data() + 4095, 8193 - 4095));
  EXPECT_EQ(StreamCRC32(s, 500, 500), 0u);
  EXPECT_EQ(StreamCRC32(s, 600, 500), 0u);
  EXPECT_EQ(StreamCRC32(s, 9990, 20000), CalcCRC32(data.data() + 9990, 10));  // what is there
  EXPECT_EQ(StreamCRC32(empty), 0u);
}

TEST(WinFileStream, FailuresSayWhetherTheFileWasToBeOpenedOrCreatedAndLocksAreWaitedFor) {
  test::TempDir dir;
  test::WriteFile(dir / "locked", "content");
  std::optional<TWinFileStream> holder(std::in_place, dir / "locked", kReadWrite, 0,
                                       fs::kOpenExisting);
  struct Case {
    std::string name;
    uint32_t disposition;
    const char* text;
    uint32_t error;
  } cases[] = {
      {dir / "missing", fs::kOpenExisting, "Cannot open file ", kErrorFileNotFound},
      {dir / "no/file", fs::kCreateAlways, "Cannot create file ", kErrorPathNotFound},
      {dir / "locked", fs::kOpenAlways, "Cannot open file ", kErrorSharingViolation},
      {dir / "no/file", fs::kOpenAlways, "Cannot create file ", kErrorPathNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " " + std::to_string(c.disposition));
    try {
      TWinFileStream s(c.name, fs::kGenericWrite, 0, c.disposition);
      ADD_FAILURE();
    } catch (const EFileOpenError& e) {
      EXPECT_EQ(e.Message(), c.text + c.name + ": " + SysErrorMessage(c.error));
    }
  }
  // One attempt gives up at once, without the delay; more attempts wait for
  // a lock that goes meanwhile.
  std::string out = "stale";
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ReadFileToString(dir / "locked", out, 1, 500));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 400ms);
  EXPECT_EQ(out, "");
  EXPECT_FALSE(WriteStringToFile(dir / "locked", "x", 1, 500));
  std::thread release([&] {
    std::this_thread::sleep_for(100ms);
    holder.reset();
  });
  EXPECT_TRUE(ReadFileToString(dir / "locked", out, 100, 20));
  release.join();
  EXPECT_EQ(out, "content");
}

TEST(WholeContent, StringsGoIntoStreamsAndFilesWholeAndComeBackUpToTheLimit) {
  test::TempDir dir;
  test::WriteFile(dir / "f.txt", "0123456789");
  {
    TWinFileStream file(dir / "f.txt", kReadWrite, 0, fs::kOpenExisting);
    file.SetPosition(7);
    EXPECT_TRUE(StringToStream("abc", file));
  }
  EXPECT_EQ(test::ReadFile(dir / "f.txt"), "abc");
  TMemoryStream memory = Memory("hello world");
  std::string out = "stale";
  for (auto [limit, expected] : {std::pair{0, "hello world"}, {5, "hello"}, {100, "hello world"}}) {
    EXPECT_TRUE(StreamToString(memory, out, limit));
    EXPECT_EQ(out, expected);
  }
  EXPECT_TRUE(StringToStream("", memory));
  EXPECT_EQ(memory.Size(), 0);

  std::string name = dir / test::A("папка/файл.ini");
  EXPECT_FALSE(WriteStringToFile(name, "x"));  // the folder is missing
  test::WriteFile(name, "a much longer old content");
  EXPECT_TRUE(WriteStringToFile(name, test::A("новое")));
  EXPECT_TRUE(ReadFileToString(name, out));
  EXPECT_EQ(out, test::A("новое"));
  EXPECT_TRUE(ReadFileToString(name, out, 1, 0, 2));
  EXPECT_EQ(out.size(), 2u);
  for (const std::string& unreadable :
       {std::string(), dir / "missing.txt", dir / test::A("папка")}) {
    out = "stale";
    EXPECT_FALSE(ReadFileToString(unreadable, out)) << unreadable;
    EXPECT_EQ(out, "") << unreadable;
  }
}

}  // namespace
}  // namespace slv2
