#include <algorithm>
#include <fstream>

#include "CfbTestSupport.h"
#include "storage/cfb/Fat.h"

namespace slv2::cfb::test {
namespace {

TEST(Fat, ReadsAndGrowsAFatLongerThanTheFileWhateverEndsItsDifat) {
  for (uint32_t marker : {kEnd, kNone}) {
    SCOPED_TRACE(marker);
    ::slv2::test::TempDir dir;
    CfbBuilder b;
    b.extraFatSectors = 120;  // maps 15000 sectors; the DIFAT continues in a sector
    b.difatEnd = marker;
    b.LinkAsList(0, {b.AddStream(u"small", Pattern(100)), b.AddStream(u"big", Pattern(20000))}, 1);
    std::string path = dir / "long-fat.stg";
    ::slv2::test::WriteFile(path, b.Build());
    {
      std::unique_ptr<IStorage> root;
      ASSERT_EQ(OpenDocfile(path, kWriteMode, &root), stg::kS_OK);
      EXPECT_EQ(GetStream(*root, u"big"), Pattern(20000));
      PutStream(*root, u"added", Pattern(300000, 5));  // needs sectors the file does not have
      PutStream(*root, u"small", Pattern(5000, 6));
    }
    std::unique_ptr<IStorage> root;
    ASSERT_EQ(OpenDocfile(path, kReadMode, &root), stg::kS_OK);
    EXPECT_EQ(GetStream(*root, u"added"), Pattern(300000, 5));
    EXPECT_EQ(GetStream(*root, u"small"), Pattern(5000, 6));
    EXPECT_EQ(GetStream(*root, u"big"), Pattern(20000));
    root.reset();
    ExpectForeignReadersAgree(path);
  }
}

TEST(Fat, Version4FilesHoldStreamsUpTo4GiBMinus1AndSkipTheRangeLockSector) {
  ::slv2::test::TempDir dir;
  CfbBuilder b(4);
  uint32_t storage = b.AddStorage(u"dir");
  b[storage].child = b.AddStream(u"inner", Pattern(700));
  b.LinkAsList(
      0, {b.AddStream(u"mini", Pattern(100)), b.AddStream(u"regular", Pattern(10000)), storage}, 1);
  std::string path = dir / "v4.stg";
  ::slv2::test::WriteFile(path, b.Build());
  const uint64_t kMax = 0xFFFFFFFF;
  {
    std::unique_ptr<IStorage> root;
    ASSERT_EQ(OpenDocfile(path, kWriteMode, &root), stg::kS_OK);
    EXPECT_EQ(GetStream(*root, u"regular"), Pattern(10000));
    std::unique_ptr<IStream> s;
    ASSERT_EQ(root->CreateStream(u"huge", kCreateMode, &s), stg::kS_OK);
    ASSERT_EQ(s->SetSize(kMax), stg::kS_OK);
    EXPECT_EQ(s->SetSize(kMax + 1), stg::kStgEDocFileTooLarge);
    ASSERT_EQ(s->Seek(0x7FFFF000, stg::kStreamSeekSet, nullptr), stg::kS_OK);
    ASSERT_EQ(s->Write(Pattern(8192, 2).data(), 8192, nullptr), stg::kS_OK);
    ASSERT_EQ(s->Seek(-3, stg::kStreamSeekEnd, nullptr), stg::kS_OK);
    ASSERT_EQ(s->Write("end", 3, nullptr), stg::kS_OK);
    EXPECT_EQ(s->Write("x", 1, nullptr), stg::kStgEDocFileTooLarge);
  }
  std::unique_ptr<IStorage> root;
  ASSERT_EQ(OpenDocfile(path, kReadMode, &root), stg::kS_OK);
  std::unique_ptr<IStream> s;
  ASSERT_EQ(root->OpenStream(u"huge", kNestedRead, &s), stg::kS_OK);
  stg::StatStg record;
  ASSERT_EQ(s->Stat(&record, stg::kStatFlagNoName), stg::kS_OK);
  EXPECT_EQ(record.size, kMax);
  std::string buffer(8192, '\0');
  uint32_t read = 0;
  ASSERT_EQ(s->Seek(0x7FFFF000, stg::kStreamSeekSet, nullptr), stg::kS_OK);
  ASSERT_EQ(s->Read(buffer.data(), 8192, &read), stg::kS_OK);
  EXPECT_TRUE(buffer == Pattern(8192, 2));
  ASSERT_EQ(s->Seek(-4, stg::kStreamSeekEnd, nullptr), stg::kS_OK);
  EXPECT_EQ(s->Read(buffer.data(), 8, &read), stg::kS_FALSE);
  EXPECT_EQ(buffer.substr(0, read), std::string("\0end", 4));
  std::unique_ptr<IStorage> sub;
  ASSERT_EQ(root->OpenStorage(u"DIR", kNestedRead, &sub), stg::kS_OK);
  EXPECT_EQ(GetStream(*sub, u"inner"), Pattern(700));
  sub.reset();
  s.reset();
  root.reset();

  // (No cross-check: olefile reads a whole stream into memory.)
  // The sector holding bytes 0x7FFFFF00-0x7FFFFFFF is allocated, empty.
  const uint32_t kRangeLock = 0x7FFFE;
  std::ifstream in(AnsiToUtf8(path), std::ios::binary);
  uint64_t next = 0;
  std::vector<uint32_t> fat = ReadFat([&](uint64_t at) {
    unsigned char v[4] = {};
    if (at != next) in.seekg(static_cast<std::streamoff>(at));
    in.read(reinterpret_cast<char*>(v), 4);
    next = at + 4;
    return v[0] | v[1] << 8 | v[2] << 16 | static_cast<uint32_t>(v[3]) << 24;
  });
  ASSERT_GT(fat.size(), kRangeLock);
  EXPECT_EQ(fat[kRangeLock], kEnd);
  EXPECT_EQ(std::count(fat.begin(), fat.end(), kRangeLock), 0);
}

}  // namespace
}  // namespace slv2::cfb::test
