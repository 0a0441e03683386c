#include <algorithm>

#include "CfbTestSupport.h"

namespace slv2::cfb::test {
namespace {

using stg::HRESULT;

// The errors a damaged file may give: each names what is wrong with it.
bool IsCleanRefusal(HRESULT hr) {
  const HRESULT clean[] = {stg::kStgEFileAlreadyExists, stg::kStgEInvalidHeader,
                           stg::kStgEDocFileCorrupt,    stg::kStgEFileNotFound,
                           stg::kStgEInvalidName,       stg::kStgEAccessDenied};
  return std::find(std::begin(clean), std::end(clean), hr) != std::end(clean);
}

// A small file with every kind of chain: directory, mini FAT, mini stream and
// regular streams.
struct Sample {
  CfbBuilder b;
  uint32_t dir, inner, regular, mini, other;

  Sample() {
    dir = b.AddStorage(u"dir");
    inner = b.AddStream(u"inner", Pattern(300, 1));
    b[dir].child = inner;
    regular = b.AddStream(u"regular", Pattern(6000, 2));
    mini = b.AddStream(u"mini", Pattern(200, 3));
    other = b.AddStream(u"other", Pattern(5000, 4));
    uint32_t tiny = b.AddStream(u"tiny", "t");
    b.LinkAsList(0, {tiny, mini, dir, other, regular}, 1);
  }
};

HRESULT Open(const std::string& file, uint32_t mode, std::unique_ptr<IStorage>* root) {
  return OpenDocfileOn(std::make_shared<MemoryLockBytes>(file), mode, root);
}

// Opens the file and the stream `name` in it ("": the file alone).
HRESULT OpenStreamOf(const std::string& file, std::u16string_view name) {
  std::unique_ptr<IStorage> root;
  HRESULT hr = Open(file, kReadMode, &root);
  if (hr != stg::kS_OK || name.empty()) return hr;
  std::unique_ptr<IStream> s;
  return root->OpenStream(name, kNestedRead, &s);
}

// Each row changes one field of the sample: opening the element it names
// (none: the file alone) gives the error, and the other streams stay readable.
// Every chain (regular, mini, directory) is claimed by one walk: one loop row.
TEST(Validation, RefusesChainsSizesAndCountsTheFileCannotHold) {
  Sample sample;
  const CfbBuilder& b = sample.b;
  std::string file = sample.b.Build();
  uint32_t start = b.FirstSector(sample.regular);
  uint64_t next = b.FatEntryOffset(start + 5);
  const HRESULT corrupt = stg::kStgEDocFileCorrupt;
  struct Damage {
    const char* what;
    uint64_t at;
    uint32_t value;
    std::u16string_view element;
    HRESULT hr;
  };
  const Damage damages[] = {
      {"a chain back into itself", next, start + 1, u"regular", corrupt},
      {"a chain one past the last sector", next, uint32_t(file.size() / 512 - 1), u"regular",
       corrupt},
      {"a size past the file", b.EntryOffset(sample.regular) + 120, 0xFFFFFFF0, u"regular",
       corrupt},
      // In version 3 the high half of a size is junk that readers ignore.
      {"junk in a size's high half", b.EntryOffset(sample.regular) + 124, 0x12345678, u"regular",
       stg::kS_OK},
      {"more FAT sectors than the file holds", 44, 0x10000000, u"", corrupt},
      {"8 KiB sectors", 28, 0x000DFFFE, u"", stg::kStgEInvalidHeader},
      {"a mini stream larger than the file", b.EntryOffset(0) + 120, 0x7FFFFFC0, u"mini", corrupt},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    std::string damaged = file;
    Put32(damaged, d.at, d.value);
    EXPECT_EQ(OpenStreamOf(damaged, d.element), d.hr);
    EXPECT_TRUE(d.element.empty() || OpenStreamOf(damaged, u"other") == stg::kS_OK);
  }

  // A DIFAT sector chained back to itself lists its FAT sectors twice: the
  // same check.
  CfbBuilder big;
  big.extraFatSectors = 8;
  big.LinkAsList(0, {big.AddStream(u"s", "s")}, 1);
  file = big.Build();
  Put32(file, 76 + 4 * 7, 0);
  EXPECT_EQ(OpenStreamOf(file, u""), corrupt);

  CfbBuilder v4(4);
  uint32_t s = v4.AddStream(u"s", Pattern(5000));
  v4.LinkAsList(0, {s}, 1);
  std::string damaged = v4.Build();
  Put32(damaged, v4.EntryOffset(s) + 120, 0xFFFFFFFF);  // 2^64 - 1: no rounding overflow
  Put32(damaged, v4.EntryOffset(s) + 124, 0xFFFFFFFF);
  EXPECT_EQ(OpenStreamOf(damaged, u"s"), corrupt);
}

// One row per check of the directory's links and types.
TEST(Validation, RefusesDirectoryLinksThatCycleOrLeave) {
  const std::function<void(Sample&)> damages[] = {
      [](Sample& s) { s.b[s.inner].right = s.dir; },  // an entry linked twice: a cycle
      [](Sample& s) { s.b[s.inner].left = 1000; },
      [](Sample& s) { s.b[s.inner].type = 0; },
      [](Sample& s) { s.b[0].type = 1; },
  };
  for (const auto& damage : damages) {
    Sample sample;
    damage(sample);
    EXPECT_EQ(OpenStreamOf(sample.b.Build(), u""), stg::kStgEDocFileCorrupt);
  }
}

TEST(Validation, AFileAboutToChangeMayNotShareSectorsBetweenStreams) {
  Sample sample;
  std::string file = sample.b.Build();
  Put32(file, sample.b.EntryOffset(sample.other) + 116, sample.b.FirstSector(sample.regular));
  std::unique_ptr<IStorage> root;
  EXPECT_EQ(Open(file, kReadMode, &root), stg::kS_OK);
  EXPECT_EQ(Open(file, kWriteMode, &root), stg::kStgEDocFileCorrupt);
}

TEST(Validation, TruncatedFilesNeverGiveBytesTheyDoNotHold) {
  Sample sample;
  std::string file = sample.b.Build();
  std::unique_ptr<IStorage> root;
  ASSERT_EQ(Open(file, kReadMode, &root), stg::kS_OK);
  std::vector<Element> whole = Walk(*root);
  ASSERT_EQ(whole.size(), 6u);
  for (size_t cut = 0; cut < file.size(); cut += 61) {
    SCOPED_TRACE(cut);
    HRESULT hr = Open(file.substr(0, cut), kReadMode, &root);
    if (hr != stg::kS_OK) {
      EXPECT_TRUE(IsCleanRefusal(hr)) << std::hex << static_cast<uint32_t>(hr);
      continue;
    }
    // Every element fails cleanly or reads whole.
    for (const Element& e : Walk(*root)) {
      auto same = std::find_if(whole.begin(), whole.end(),
                               [&](const Element& w) { return w.path == e.path; });
      EXPECT_TRUE(e.error ? IsCleanRefusal(e.error) : same == whole.end() || e == *same) << e;
    }
  }
}

TEST(Validation, AFileEndingInsideItsLastSectorCanBeChanged) {
  CfbBuilder b;
  b.LinkAsList(0, {b.AddStream(u"first", Pattern(5000, 1)), b.AddStream(u"last", Pattern(4200, 2))},
               1);
  std::string file = b.Build();
  file.resize(file.size() - 512 + 4200 % 512);  // writers that do not pad the last sector
  auto bytes = std::make_shared<MemoryLockBytes>(file);
  std::unique_ptr<IStorage> root;
  ASSERT_EQ(OpenDocfileOn(bytes, kWriteMode, &root), stg::kS_OK);
  EXPECT_EQ(GetStream(*root, u"last"), Pattern(4200, 2));
  ASSERT_EQ(root->DestroyElement(u"last"), stg::kS_OK);
  ASSERT_EQ(root->DestroyElement(u"first"), stg::kS_OK);
  std::unique_ptr<IStream> s;
  ASSERT_EQ(root->CreateStream(u"again", kCreateMode, &s), stg::kS_OK);
  ASSERT_EQ(s->SetSize(9500), stg::kS_OK);  // all the freed sectors, the partial one too
  ASSERT_EQ(s->Seek(0, stg::kStreamSeekSet, nullptr), stg::kS_OK);
  EXPECT_EQ(ReadAll(*s), std::string(9500, 0));
}

}  // namespace
}  // namespace slv2::cfb::test
