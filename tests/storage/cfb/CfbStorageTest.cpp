#include <algorithm>
#include <fstream>

#include "CfbTestSupport.h"

namespace slv2::cfb::test {
namespace {

// Every file a test writes is read back by olefile and gsf after the test
// (on Linux; the Windows suite compares with ole32 instead, both ways). Files
// of other writers come from the builder, in the shapes those writers leave.
class CfbStorageTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const std::string& path : written_)
      ExpectForeignReadersAgree(path);
  }

  std::string PathOf(const std::string& name) { return dir / name; }

  std::unique_ptr<IStorage> NewFile(const std::string& name, int version = 3) {
    written_.push_back(PathOf(name));
    std::unique_ptr<IStorage> root;
    EXPECT_EQ(CreateDocfile(PathOf(name), kCreateMode, &root, version), stg::kS_OK);
    return root;
  }

  std::unique_ptr<IStorage> Open(const std::string& name, uint32_t mode = kReadMode) {
    std::unique_ptr<IStorage> root;
    EXPECT_EQ(OpenDocfile(PathOf(name), mode, &root), stg::kS_OK);
    return root;
  }

  ::slv2::test::TempDir dir;
  std::vector<std::string> written_;
};

TEST(ForeignReaders, AreInstalledForTheCrossChecks) {
  if (!HaveOlefile()) GTEST_SKIP() << "python3-olefile missing: cross-checks skip";
  if (!HaveGsf()) GTEST_SKIP() << "gsf (libgsf-bin) missing: cross-checks skip";
}

// The largest stream takes a version 3 file past the 109 FAT sectors its
// header lists, so the DIFAT grows too.
TEST_F(CfbStorageTest, RoundTripsStreamsAtTheSizeBoundariesInBothVersions) {
  const size_t sizes[] = {0, 1, 63, 64, 4095, 4096, 4097, 9 * 1024 * 1024 + 17};
  for (int version : {3, 4}) {
    std::string name = "sizes" + std::to_string(version) + ".stg";
    {
      auto root = NewFile(name, version);
      for (size_t size : sizes)
        PutStream(*root, Utf8ToUtf16(std::to_string(size)), Pattern(size, uint32_t(size)));
    }
    EXPECT_EQ(::slv2::test::ReadFile(PathOf(name))[26], version);
    auto root = Open(name);
    for (size_t size : sizes)
      EXPECT_EQ(GetStream(*root, Utf8ToUtf16(std::to_string(size))), Pattern(size, uint32_t(size)));
  }
}

TEST_F(CfbStorageTest, StreamsGrowAndShrinkAcrossTheMiniStreamCutoff) {
  auto root = NewFile("cutoff.stg");
  PutStream(*root, u"neighbour", Pattern(3000, 9));
  std::unique_ptr<IStream> s;
  ASSERT_EQ(root->CreateStream(u"moving", kCreateMode, &s), stg::kS_OK);
  std::string expected = Pattern(4000, 1);
  ASSERT_EQ(s->Write(expected.data(), 4000, nullptr), stg::kS_OK);
  // Sizes into regular sectors and back (new bytes zero), and a write past the
  // end whose gap reads as zeros.
  for (uint64_t size : {5000, 100, 0, 4096, 4095}) {
    if (size == 0) {
      ASSERT_EQ(s->Seek(8000, stg::kStreamSeekSet, nullptr), stg::kS_OK);
      ASSERT_EQ(s->Write("tail", 4, nullptr), stg::kS_OK);
      expected = expected.substr(0, 100) + std::string(7900, '\0') + "tail";
    } else {
      ASSERT_EQ(s->SetSize(size), stg::kS_OK);
      expected.resize(size, '\0');
    }
    ASSERT_EQ(s->Seek(0, stg::kStreamSeekSet, nullptr), stg::kS_OK);
    EXPECT_EQ(ReadAll(*s), expected) << size;
  }
  s.reset();
  root.reset();
  root = Open("cutoff.stg");
  EXPECT_EQ(GetStream(*root, u"moving"), expected);
  EXPECT_EQ(GetStream(*root, u"neighbour"), Pattern(3000, 9));
}

TEST_F(CfbStorageTest, RefusesWhatWindowsRefusesWithItsCodes) {
  std::unique_ptr<IStorage> root;
  EXPECT_EQ(OpenDocfile(PathOf("missing.stg"), kReadMode, &root), stg::kStgEFileNotFound);
  EXPECT_EQ(OpenDocfile(PathOf("no/such/dir.stg"), kReadMode, &root), stg::kStgEPathNotFound);
  ::slv2::test::WriteFile(PathOf("text.stg"), "not a compound file at all");
  EXPECT_EQ(OpenDocfile(PathOf("text.stg"), kReadMode, &root), stg::kStgEFileAlreadyExists);
  EXPECT_EQ(CreateDocfile(PathOf("text.stg"), kWriteMode, &root), stg::kStgEFileAlreadyExists);
  EXPECT_EQ(OpenDocfile(PathOf("text.stg"), kReadMode | stg::kStgmTransacted, &root),
            stg::kStgEInvalidFlag);
  EXPECT_EQ(OpenDocfile(PathOf("text.stg"), stg::kStgmReadWrite | stg::kStgmShareDenyNone, &root),
            stg::kStgEInvalidFlag);

  PutStream(*NewFile("refuse.stg"), u"data", "abc");
  root = Open("refuse.stg");
  std::unique_ptr<IStream> s, again;
  std::unique_ptr<IStorage> sub;
  EXPECT_EQ(root->OpenStream(u"nothing", kNestedRead, &s), stg::kStgEFileNotFound);
  EXPECT_EQ(root->OpenStorage(u"data", kNestedRead, &sub), stg::kStgEFileNotFound);
  EXPECT_EQ(root->OpenStream(u"data", kReadMode, &s), stg::kStgEInvalidFunction);
  EXPECT_EQ(root->OpenStream(u"data", kWriteMode, &s), stg::kStgEAccessDenied);
  EXPECT_EQ(root->CreateStream(u"new", kCreateMode, &s), stg::kStgEAccessDenied);
  EXPECT_EQ(root->DestroyElement(u"data"), stg::kStgEAccessDenied);
  ASSERT_EQ(root->OpenStream(u"data", kNestedRead, &s), stg::kS_OK);
  EXPECT_EQ(root->OpenStream(u"data", kNestedRead, &again), stg::kStgEAccessDenied);
  EXPECT_EQ(s->Write("x", 1, nullptr), stg::kStgEAccessDenied);
  EXPECT_EQ(s->SetSize(0), stg::kStgEAccessDenied);
  EXPECT_EQ(s->Seek(-1, stg::kStreamSeekSet, nullptr), stg::kStgEInvalidFunction);
  s.reset();
  root.reset();

  root = Open("refuse.stg", kWriteMode);
  ASSERT_EQ(root->OpenStream(u"data", kWriteMode, &s), stg::kS_OK);
  EXPECT_EQ(root->DestroyElement(u"data"), stg::kStgEAccessDenied);
  EXPECT_EQ(root->CreateStream(u"data", kCreateMode, &again), stg::kStgEAccessDenied);
  EXPECT_EQ(root->CreateStream(u"data", kWriteMode, &again), stg::kStgEFileAlreadyExists);
  EXPECT_EQ(root->DestroyElement(u"nothing"), stg::kStgEFileNotFound);
  // A version 3 file stays under 2 GB, and a refused growth leaves it as it was.
  EXPECT_EQ(s->SetSize(3ull << 30), stg::kStgEDocFileTooLarge);
  ASSERT_EQ(s->Seek(0x7FFFFFF0, stg::kStreamSeekSet, nullptr), stg::kS_OK);
  EXPECT_EQ(s->Write("abc", 3, nullptr), stg::kStgEDocFileTooLarge);
  s.reset();
  root.reset();
  EXPECT_LT(::slv2::test::ReadFile(PathOf("refuse.stg")).size(), 8192u);
  EXPECT_EQ(GetStream(*Open("refuse.stg"), u"data"), "abc");
}

// The source as another writer made it, with a class on every storage.
TEST_F(CfbStorageTest, CopyToReplacesStreamsAndMergesStoragesWithTheirClassesButNeverIntoItself) {
  CfbBuilder b;
  uint32_t a = b.AddStorage(u"a"), sub = b.AddStorage(u"sub");
  b.LinkAsList(0, {a, b.AddStream(u"b", "b")}, 1);
  b.LinkAsList(a, {b.AddStream(u"x", Pattern(5000, 1)), sub}, 1);
  b.LinkAsList(sub, {b.AddStream(u"z", "zz")}, 1);
  std::string file = b.Build();
  for (uint32_t i = 0; i < 4; ++i) {
    Put32(file, b.EntryOffset(0) + 80 + 4 * i, 0x01010101u * (i + 1));
    Put32(file, b.EntryOffset(a) + 80 + 4 * i, 0x10101010u * (i + 1));
  }
  ::slv2::test::WriteFile(PathOf("src.stg"), file);
  {
    auto dst = NewFile("dst.stg");
    PutStream(*Sub(*dst, u"A", kCreateMode), u"X", "old x");
    PutStream(*Sub(*dst, u"A", kWriteMode), u"y", "keep");
    PutStream(*dst, u"c", "c");
    ASSERT_EQ(Open("src.stg")->CopyTo(*dst), stg::kS_OK);
  }
  auto dst = Open("dst.stg", kWriteMode);
  auto merged = Sub(*dst, u"a", kWriteMode);
  EXPECT_EQ(dst->CopyTo(*merged), stg::kStgEAccessDenied);  // never into itself
  EXPECT_EQ(Names(*dst), (std::vector<std::u16string>{u"A", u"b", u"c"}));
  // A replaced stream takes the name of the stream that replaces it.
  EXPECT_EQ(Names(*merged), (std::vector<std::u16string>{u"x", u"y", u"sub"}));
  EXPECT_EQ(GetStream(*merged, u"x"), Pattern(5000, 1));
  EXPECT_EQ(GetStream(*merged, u"y"), "keep");
  EXPECT_EQ(GetStream(*Sub(*merged, u"sub"), u"z"), "zz");
  stg::StatStg root, level;
  ASSERT_EQ(dst->Stat(&root, stg::kStatFlagNoName), stg::kS_OK);
  ASSERT_EQ(merged->Stat(&level, stg::kStatFlagNoName), stg::kS_OK);
  EXPECT_EQ(root.clsid[0] + root.clsid[15] * 256, 0x0401);
  EXPECT_EQ(level.clsid[0] + level.clsid[15] * 256, 0x4010);
}

TEST_F(CfbStorageTest, FreedSectorsAreReusedSoRewritingDoesNotGrowTheFile) {
  std::string path = PathOf("reuse.stg");
  {
    auto root = NewFile("reuse.stg");
    PutStream(*root, u"big", Pattern(300000));
    for (int i = 0; i < 50; ++i)
      PutStream(*root, Utf8ToUtf16("small" + std::to_string(i)), "x");
  }
  size_t first = ::slv2::test::ReadFile(path).size();
  for (int round = 0; round < 10; ++round) {
    auto root = Open("reuse.stg", kWriteMode);
    PutStream(*root, u"big", Pattern(300000, round));  // STGM_CREATE replaces
    for (int i = 0; i < 50; ++i) {
      std::u16string name = Utf8ToUtf16("small" + std::to_string(i));
      ASSERT_EQ(root->DestroyElement(name), stg::kS_OK);
      PutStream(*root, name, Pattern(200, i));
    }
  }
  // The mini stream grows once to hold the 200-byte streams; nothing more.
  EXPECT_LE(::slv2::test::ReadFile(path).size(), first + 50 * 256 + 4096);
  auto root = Open("reuse.stg");
  EXPECT_EQ(GetStream(*root, u"big"), Pattern(300000, 9));
  EXPECT_EQ(GetStream(*root, u"small7"), Pattern(200, 7));
}

// The builder ends the DIFAT in FREESECT, not ENDOFCHAIN: a marker never read.
TEST_F(CfbStorageTest, ReadsAndGrowsAFatLongerThanTheFileWhateverEndsItsDifat) {
  CfbBuilder b;
  b.extraFatSectors = 120;  // maps 15000 sectors; the DIFAT continues in a sector
  b.LinkAsList(0, {b.AddStream(u"small", Pattern(100)), b.AddStream(u"big", Pattern(20000))}, 1);
  ::slv2::test::WriteFile(PathOf("long-fat.stg"), b.Build());
  written_.push_back(PathOf("long-fat.stg"));
  {
    auto root = Open("long-fat.stg", kWriteMode);
    PutStream(*root, u"added", Pattern(300000, 5));  // needs sectors the file does not have
    PutStream(*root, u"small", Pattern(5000, 6));
  }
  auto root = Open("long-fat.stg");
  EXPECT_EQ(GetStream(*root, u"added"), Pattern(300000, 5));
  EXPECT_EQ(GetStream(*root, u"small"), Pattern(5000, 6));
  EXPECT_EQ(GetStream(*root, u"big"), Pattern(20000));
}

// (No cross-check: olefile reads a whole stream into memory.)
TEST_F(CfbStorageTest, Version4FilesHoldStreamsUpTo4GiBMinus1AndSkipTheRangeLockSector) {
  CfbBuilder b(4);
  uint32_t storage = b.AddStorage(u"dir");
  b[storage].child = b.AddStream(u"inner", Pattern(700));
  b.LinkAsList(
      0, {b.AddStream(u"mini", Pattern(100)), b.AddStream(u"regular", Pattern(10000)), storage}, 1);
  std::string path = PathOf("v4.stg");
  ::slv2::test::WriteFile(path, b.Build());
  const uint64_t kMax = 0xFFFFFFFF;
  {
    auto root = Open("v4.stg", kWriteMode);
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
  auto root = Open("v4.stg");
  std::unique_ptr<IStream> s;
  ASSERT_EQ(root->OpenStream(u"huge", kNestedRead, &s), stg::kS_OK);
  std::string buffer(8192, '\0');
  uint32_t read = 0;
  ASSERT_EQ(s->Seek(0x7FFFF000, stg::kStreamSeekSet, nullptr), stg::kS_OK);
  ASSERT_EQ(s->Read(buffer.data(), 8192, &read), stg::kS_OK);
  EXPECT_TRUE(buffer == Pattern(8192, 2));
  ASSERT_EQ(s->Seek(-4, stg::kStreamSeekEnd, nullptr), stg::kS_OK);  // the size kept
  EXPECT_EQ(s->Read(buffer.data(), 8, &read), stg::kS_FALSE);
  EXPECT_EQ(buffer.substr(0, read), std::string("\0end", 4));
  EXPECT_EQ(GetStream(*Sub(*root, u"DIR"), u"inner"), Pattern(700));
  s.reset();
  root.reset();
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
  EXPECT_EQ(fat.at(kRangeLock), kEnd);
  EXPECT_EQ(std::count(fat.begin(), fat.end(), kRangeLock), 0);
}

// The file layer holds share modes between processes; here, what each mode
// asks of it.
TEST_F(CfbStorageTest, ElementsHoldTheFileAndItsShareModeAfterTheRootIsGone) {
  std::string path = PathOf("open.stg");
  {
    auto root = NewFile("open.stg");
    PutStream(*Sub(*root, u"a", kCreateMode), u"s", "content");
  }
  auto root = Open("open.stg");
  auto a = Sub(*root, u"a");
  std::unique_ptr<IStream> s;
  ASSERT_EQ(a->OpenStream(u"s", kNestedRead, &s), stg::kS_OK);
  root.reset();
  a.reset();
  std::unique_ptr<IStorage> writer, reader;
  EXPECT_EQ(OpenDocfile(path, kWriteMode, &writer), stg::kStgEShareViolation);
  EXPECT_EQ(CreateDocfile(path, kCreateMode, &writer), stg::kStgEShareViolation);
  EXPECT_EQ(OpenDocfile(path, kReadMode, &reader), stg::kS_OK);  // readers share
  EXPECT_EQ(ReadAll(*s), "content");  // the refused creation truncated nothing
  s.reset();
  reader.reset();
  EXPECT_EQ(OpenDocfile(path, kWriteMode, &writer), stg::kS_OK);
  EXPECT_EQ(OpenDocfile(path, kReadMode, &reader), stg::kStgEShareViolation);
}

}  // namespace
}  // namespace slv2::cfb::test
