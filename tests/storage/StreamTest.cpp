// Streams: copies between them, the file stream's failures and retries,
// whole contents to strings and files and back, checksums of ranges, and the
// compressed elements of update storages.
#include <gmock/gmock.h>
#include <zlib.h>

#include <chrono>
#include <thread>

#include "CfbTestSupport.h"
#include "storage/gmCRCUtil.h"
#include "storage/gmStrmUtil.h"
#include "storage/gmZLibUtil.h"
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

// CopyFrom with count 0 copies the whole source from its beginning, and
// raises when the source is short; checksums cover ranges across read blocks.
TEST(Stream, CopiesWholeOrRaisesWhenShortAndChecksumsRanges) {
  std::string data = cfb::test::Pattern(200000);
  TMemoryStream source = Memory(data), target;
  EXPECT_EQ(target.CopyFrom(source, 0), static_cast<int64_t>(data.size()));
  EXPECT_EQ(target.ToString(), data);
  source.SetPosition(199998);
  EXPECT_THROW(target.CopyFrom(source, 5), EReadError);
  EXPECT_EQ(StreamCRC32(source), CalcCRC32(data.data(), data.size()));
  EXPECT_EQ(StreamCRC32(source, 4095, 8193), CalcCRC32(data.data() + 4095, 8193 - 4095));
  EXPECT_EQ(StreamCRC32(source, 600, 500), 0u);
  // A range past the end: what is there.
  EXPECT_EQ(StreamCRC32(source, 199990, 300000), CalcCRC32(data.data() + 199990, 10));
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
    EXPECT_THAT(
        [&] { TWinFileStream s(c.name, fs::kGenericWrite, 0, c.disposition); },
        testing::ThrowsMessage<EFileOpenError>(c.text + c.name + ": " + SysErrorMessage(c.error)))
        << c.disposition;
  }
  // One attempt gives up at once, without the delay; more attempts wait for
  // a lock that goes meanwhile.
  std::string out;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ReadFileToString(dir / "locked", out, 1, 500));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 400ms);
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
  TMemoryStream memory = Memory("0123456789");
  memory.SetPosition(7);
  EXPECT_TRUE(StringToStream("abc", memory));
  EXPECT_EQ(memory.ToString(), "abc");
  memory = Memory("hello world");
  std::string out = "stale";
  for (auto [limit, expected] : {std::pair{0, "hello world"}, {5, "hello"}, {100, "hello world"}}) {
    EXPECT_TRUE(StreamToString(memory, out, limit));
    EXPECT_EQ(out, expected);
  }

  std::string name = dir / test::A("папка/файл.ini");
  EXPECT_FALSE(WriteStringToFile(name, "x"));  // the folder is missing
  test::WriteFile(name, "a much longer old content");
  EXPECT_TRUE(WriteStringToFile(name, test::A("новое")));
  EXPECT_TRUE(ReadFileToString(name, out));
  EXPECT_EQ(out, test::A("новое"));
  for (const std::string& unreadable :
       {std::string(), dir / "missing.txt", dir / test::A("папка")}) {
    out = "stale";
    EXPECT_FALSE(ReadFileToString(unreadable, out)) << unreadable;
    EXPECT_EQ(out, "") << unreadable;
  }
}

std::string Deflated(const std::string& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()), 9);
  out.resize(size);
  return out;
}

// An element as the publisher's tool lays it out, with every field given.
std::string Element(uint32_t size, uint32_t crc, uint8_t key, const std::string& zdata,
                    const char* magic = kZHeaderMagic) {
  std::string h(16, '\0');
  for (int i = 0; i < 4; ++i) {
    h[i] = magic[i];
    h[4 + i] = static_cast<char>(size >> (8 * i));
    h[8 + i] = static_cast<char>(crc >> (8 * i));
  }
  for (int i = 0; i < 12; ++i)
    h[i] = static_cast<char>(h[i] ^ key);
  h[12] = static_cast<char>(key);
  h[13] = '\x7F';  // not examined
  return h + zdata;
}

// Whatever the key byte, the fields read the same; a failed element keeps
// exactly what was inflated before the failure; what has no valid header is
// copied byte for byte.
TEST(gmZLibUtil, ElementsDecodeWhateverTheKeyAndDamagedOnesKeepOnlyWhatWasInflated) {
  std::string data = cfb::test::Pattern(200000);
  uint32_t crc = CalcCRC32(data.data(), data.size());
  std::string z = Deflated(data), flipped = z, header = Element(200000, crc, 7, "");
  std::string wrongMagic = Element(3, 0, 0x21, z, "SlvY");
  flipped[flipped.size() / 2] ^= 0x55;
  struct Case {
    const char* what;
    std::string element;
    bool ok;
    std::string out;
  } cases[] = {
      {"key 0", Element(200000, crc, 0, z), true, data},
      {"empty", Element(0, 0, 0x33, ""), true, ""},
      {"empty with a CRC", Element(0, 1, 0x33, ""), false, ""},
      {"size too large", Element(200001, crc, 7, z), false, data},
      // A short size with the whole data's CRC: the cut file is not taken.
      {"size too small", Element(199999, crc, 7, z), false, data.substr(0, 199999)},
      {"zlib data beyond the stated size", Element(199999, CalcCRC32(data.data(), 199999), 7, z),
       true, data.substr(0, 199999)},
      {"trailer after the zlib stream", Element(200000, crc, 7, z + "trailer"), true, data},
      {"too short for a header", header.substr(0, 15), true, header.substr(0, 15)},
      {"another magic", wrongMagic, true, wrongMagic},
      {"nothing", "", true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TMemoryStream source = Memory(c.element), destination;
    EXPECT_EQ(Decompress(source, destination), c.ok);
    EXPECT_TRUE(destination.ToString() == c.out);
  }
  for (const std::string& broken : {z.substr(0, z.size() - 2), flipped, std::string("not zlib")}) {
    TMemoryStream source = Memory(header + broken), destination;
    EXPECT_FALSE(Decompress(source, destination));
  }
  // A copy starts at the source's beginning and lands at the destination's
  // position.
  TMemoryStream source = Memory("plain text"), destination = Memory("head:");
  source.SetPosition(4);
  ASSERT_TRUE(Decompress(source, destination));
  EXPECT_EQ(destination.ToString(), "head:plain text");
}

// An inflated element replaces what the file held.
TEST(gmZLibUtil, AHeaderClaiming2GBInATinyElementFailsWithoutGrowingTheFile) {
  test::TempDir dir;
  std::string element = Element(0x7FFFFFF0, 0, 0x42, Deflated("only a few bytes"));
  TMemoryStream source = Memory(element);
  test::WriteFile(dir / "out.bin", std::string(100, 'x'));
  {
    TWinFileStream file(dir / "out.bin", kReadWrite, 0, fs::kOpenExisting);
    EXPECT_FALSE(Decompress(source, file));
  }
  EXPECT_EQ(test::ReadFile(dir / "out.bin"), "only a few bytes");
}

}  // namespace
}  // namespace slv2
