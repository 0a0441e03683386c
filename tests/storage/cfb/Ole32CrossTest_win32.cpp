// The project's compound-file engine against ole32, the format's reference:
// what one writes the other reads with the same elements and contents.
#include "CfbTestSupport.h"

namespace slv2::cfb::test {
namespace {

using Opener = stg::HRESULT (*)(const std::string&, uint32_t, std::unique_ptr<stg::IStorage>*);
using Creator = stg::HRESULT (*)(const std::string&, uint32_t, std::unique_ptr<stg::IStorage>*,
                                 int);

// Streams in the mini stream and in regular sectors, at the cutoff, empty,
// nested three deep, with Cyrillic and 31-character names, and many siblings.
void WriteSample(Creator create, int version, const std::string& file) {
  std::unique_ptr<stg::IStorage> root;
  ASSERT_EQ(create(file, kCreateMode, &root, version), stg::kS_OK);
  PutStream(*root, u"empty", "");
  PutStream(*root, u"small", Pattern(100, 1));
  PutStream(*root, u"cutoff", Pattern(4096, 2));
  PutStream(*root, u"large", Pattern(300000, 3));
  auto files = Sub(*root, u"files", kCreateMode);
  PutStream(*files, std::u16string(31, u'n'), Pattern(10, 6));
  auto help = Sub(*files, u"Справка", kCreateMode);
  PutStream(*help, u"файл.txt", Pattern(5000, 4));
  PutStream(*Sub(*help, u"deeper", kCreateMode), u"x", Pattern(70000, 5));
  auto many = Sub(*root, u"many", kCreateMode);
  for (char16_t i = 0; i < 40; ++i)
    PutStream(*many, u"n" + std::u16string{char16_t(u'0' + i / 10), char16_t(u'0' + i % 10)}, "n");
}

std::vector<Element> Read(Opener open, const std::string& file) {
  std::unique_ptr<stg::IStorage> root;
  EXPECT_EQ(open(file, kNestedRead, &root), stg::kS_OK);
  return root ? Walk(*root) : std::vector<Element>();
}

TEST(Ole32Cross, EachReadsWhatTheOtherWritesInBothVersions) {
  for (int version : {3, 4}) {
    SCOPED_TRACE(version);
    ::slv2::test::TempDir dir;
    WriteSample(&CreateDocfile, version, dir / "engine.stg");
    WriteSample(&stg::StgCreateDocfile, version, dir / "ole32.stg");
    EXPECT_EQ(::slv2::test::ReadFile(dir / "ole32.stg")[26], version);
    std::vector<Element> expected = Read(&stg::StgOpenStorage, dir / "ole32.stg");
    EXPECT_EQ(expected.size(), 51u);
    EXPECT_EQ(Read(&OpenDocfile, dir / "ole32.stg"), expected);
    EXPECT_EQ(Read(&stg::StgOpenStorage, dir / "engine.stg"), expected);
    EXPECT_EQ(Read(&OpenDocfile, dir / "engine.stg"), expected);
  }
}

}  // namespace
}  // namespace slv2::cfb::test
