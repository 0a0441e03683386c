// The project's compound-file engine against ole32, the format's reference:
// what one writes the other reads with the same elements and contents.
#include <gtest/gtest.h>

#include <map>

#include "TestSupport.h"
#include "storage/StgApi.h"
#include "storage/cfb/CfbStorage.h"

namespace slv2 {
namespace {

using Tree = std::map<std::u16string, std::string>;  // path -> "<dir>" or content
using Writer = stg::HRESULT (*)(const std::string&, uint32_t, std::unique_ptr<stg::IStorage>*);
using Reader = Writer;

constexpr uint32_t kCreate = stg::kStgmCreate | stg::kStgmReadWrite | stg::kStgmShareExclusive;
constexpr uint32_t kRead = stg::kStgmRead | stg::kStgmShareExclusive;

std::string Pattern(size_t size, int seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i)
    s[i] = static_cast<char>((i * 131 + seed * 7) >> 3);
  return s;
}

// Streams in the mini stream and in regular sectors, at the cutoff, empty,
// nested three deep, with Cyrillic and 31-character names, and many siblings.
const Tree& Sample() {
  static const Tree tree = [] {
    Tree t;
    t[u"empty"] = "";
    t[u"small"] = Pattern(100, 1);
    t[u"cutoff"] = Pattern(4096, 2);
    t[u"large"] = Pattern(300000, 3);
    t[u"files"] = "<dir>";
    t[u"files/Справка"] = "<dir>";
    t[u"files/Справка/файл.txt"] = Pattern(5000, 4);
    t[u"files/Справка/deeper"] = "<dir>";
    t[u"files/Справка/deeper/x"] = Pattern(70000, 5);
    t[u"files/" + std::u16string(31, u'n')] = Pattern(10, 6);
    for (char16_t i = 0; i < 40; ++i) {
      t[u"many/n" + std::u16string{char16_t(u'0' + i / 10), char16_t(u'0' + i % 10)}] = "n";
    }
    t[u"many"] = "<dir>";
    return t;
  }();
  return tree;
}

void Write(Writer create, const std::string& file, const Tree& tree) {
  std::unique_ptr<stg::IStorage> root;
  ASSERT_EQ(create(file, kCreate, &root), stg::kS_OK);
  std::map<std::u16string, std::unique_ptr<stg::IStorage>> storages;
  for (const auto& [path, content] : tree) {  // parents sort before children
    size_t slash = path.rfind(u'/');
    stg::IStorage& parent =
        slash == std::u16string::npos ? *root : *storages[path.substr(0, slash)];
    std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
    if (content == "<dir>") {
      ASSERT_EQ(parent.CreateStorage(name, kCreate & ~stg::kStgmCreate, &storages[path]),
                stg::kS_OK);
      continue;
    }
    std::unique_ptr<stg::IStream> stream;
    ASSERT_EQ(parent.CreateStream(name, kCreate & ~stg::kStgmCreate, &stream), stg::kS_OK);
    uint32_t written = 0;
    ASSERT_EQ(stream->Write(content.data(), static_cast<uint32_t>(content.size()), &written),
              stg::kS_OK);
    ASSERT_EQ(written, content.size());
  }
}

void Walk(stg::IStorage& storage, const std::u16string& prefix, Tree* tree) {
  std::unique_ptr<stg::IEnumStatStg> elements;
  ASSERT_EQ(storage.EnumElements(&elements), stg::kS_OK);
  stg::StatStg records[16];
  for (;;) {
    uint32_t fetched = 0;
    stg::HRESULT hr = elements->Next(16, records, &fetched);
    ASSERT_TRUE(hr == stg::kS_OK || hr == stg::kS_FALSE) << hr;
    for (uint32_t i = 0; i < fetched; ++i) {
      std::u16string path = prefix + records[i].name;
      if (records[i].type == stg::kStgTyStorage) {
        (*tree)[path] = "<dir>";
        std::unique_ptr<stg::IStorage> child;
        ASSERT_EQ(storage.OpenStorage(records[i].name, kRead, &child), stg::kS_OK);
        Walk(*child, path + u"/", tree);
      } else {
        std::unique_ptr<stg::IStream> stream;
        ASSERT_EQ(storage.OpenStream(records[i].name, kRead, &stream), stg::kS_OK);
        std::string content(records[i].size, '\0');
        uint32_t read = 0;
        ASSERT_EQ(stream->Read(content.data(), static_cast<uint32_t>(content.size()), &read),
                  stg::kS_OK);
        ASSERT_EQ(read, content.size());
        (*tree)[path] = content;
      }
    }
    if (hr == stg::kS_FALSE) return;
  }
}

Tree Read(Reader open, const std::string& file) {
  Tree tree;
  std::unique_ptr<stg::IStorage> root;
  EXPECT_EQ(open(file, kRead, &root), stg::kS_OK);
  if (root) Walk(*root, u"", &tree);
  return tree;
}

TEST(Ole32Cross, Ole32ReadsWhatTheEngineWrites) {
  test::TempDir dir;
  Write(&cfb::CreateDocfile, dir / "engine.stg", Sample());
  EXPECT_TRUE(Read(&stg::StgOpenStorage, dir / "engine.stg") == Sample());
  EXPECT_TRUE(Read(&cfb::OpenDocfile, dir / "engine.stg") == Sample());
}

TEST(Ole32Cross, TheEngineReadsWhatOle32Writes) {
  test::TempDir dir;
  Write(&stg::StgCreateDocfile, dir / "ole32.stg", Sample());
  EXPECT_TRUE(Read(&cfb::OpenDocfile, dir / "ole32.stg") == Sample());
  EXPECT_TRUE(Read(&stg::StgOpenStorage, dir / "ole32.stg") == Sample());
}

}  // namespace
}  // namespace slv2
