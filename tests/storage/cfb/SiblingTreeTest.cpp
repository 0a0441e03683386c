#include <algorithm>
#include <random>

#include "CfbTestSupport.h"
#include "storage/cfb/Names.h"

namespace slv2::cfb::test {
namespace {

std::u16string Numbered(const char* prefix, size_t i) {
  return Utf8ToUtf16(prefix + std::to_string(i));
}

bool InFormatOrder(const std::vector<std::u16string>& names) {
  return std::is_sorted(names.begin(), names.end(),
                        [](const auto& a, const auto& b) { return CompareNames(a, b) < 0; });
}

struct RawEntry {
  uint8_t type, color;
  uint32_t left, right, child;
};

// Black height of the subtree, or -1 after recording a fault.
int CheckSubtree(const std::vector<RawEntry>& entries, uint32_t at, int depth, std::string& fault) {
  if (at == 0xFFFFFFFF) return 0;
  if (at >= entries.size() || depth > 200) {
    fault = "bad link or tree too deep";
    return -1;
  }
  const RawEntry& e = entries[at];
  for (uint32_t child : {e.left, e.right}) {
    if (e.color == 0 && child < entries.size() && entries[child].color == 0)
      fault = "red node with a red child: entry " + std::to_string(at);
  }
  int left = CheckSubtree(entries, e.left, depth + 1, fault);
  int right = CheckSubtree(entries, e.right, depth + 1, fault);
  if (left < 0 || right < 0) return -1;
  if (left != right) fault = "black heights differ below entry " + std::to_string(at);
  return left + (e.color == 1 ? 1 : 0);
}

// Reads the directory out of a file's bytes without the engine and checks
// every storage's tree: "" when each is a valid red-black tree (black root, no
// red node with a red child, one black height), else what is wrong. No
// outside reader here checks the colours, which ole32 needs; the order is
// the enumeration's, which walks the tree in order.
std::string CheckTrees(const std::string& file) {
  auto get32 = [&](uint64_t at) {
    if (at + 4 > file.size()) throw std::runtime_error("read past the end");
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
      v = v << 8 | static_cast<uint8_t>(file[at + i]);
    return v;
  };
  try {
    uint64_t ss = uint64_t{1} << (get32(28) >> 16);
    std::vector<uint32_t> fat = ReadFat(get32);
    std::vector<RawEntry> entries;
    for (uint32_t s = get32(48); s != 0xFFFFFFFE; s = fat.at(s)) {
      if (entries.size() > file.size() / 128) return "directory chain loops";
      for (uint64_t at = (s + 1) * ss; at < (s + 2) * ss; at += 128) {
        RawEntry e;
        e.type = static_cast<uint8_t>(file[at + 66]);
        e.color = static_cast<uint8_t>(file[at + 67]);
        e.left = get32(at + 68);
        e.right = get32(at + 72);
        e.child = get32(at + 76);
        entries.push_back(e);
      }
    }
    for (const RawEntry& e : entries) {
      if ((e.type != 1 && e.type != 5) || e.child == 0xFFFFFFFF) continue;
      if (e.child >= entries.size()) return "child link out of range";
      if (entries[e.child].color != 1) return "red tree root: entry " + std::to_string(e.child);
      std::string fault;
      CheckSubtree(entries, e.child, 0, fault);
      if (!fault.empty()) return fault;
    }
    return "";
  } catch (const std::exception& e) {
    return e.what();
  }
}

TEST(Names, UpperCaseMapsOneUnitToOneUnitAndOrdersByLengthFirst) {
  // Alternating pairs (ā; Ă, between them, is upper case), title and lower
  // case sharing an upper case (ǅ, ǆ); no simple upper case (ß: not "SS", not
  // 'ẞ'); surrogates stay.
  const char16_t pairs[][2] = {{u'a', u'A'},   {u'Z', u'Z'}, {u'ё', u'Ё'},          {u'я', u'Я'},
                               {u'ÿ', u'Ÿ'},   {u'ā', u'Ā'}, {u'Ă', u'Ă'},          {u'ǆ', u'Ǆ'},
                               {u'ǅ', u'Ǆ'},   {u'ı', u'I'}, {u'ſ', u'S'},          {u'ᾳ', u'ᾼ'},
                               {u'ａ', u'Ａ'}, {u'ß', u'ß'}, {u'\xD801', u'\xD801'}};
  for (const auto& [lower, upper] : pairs)
    EXPECT_EQ(UpperCase(lower), upper) << int(lower);
  // Order: length first, then the upper-cased units (the pairs above).
  EXPECT_LT(CompareNames(u"Z", u"aa"), 0);
  EXPECT_EQ(CompareNames(u"files", u"FILES"), 0);
  EXPECT_LT(CompareNames(u"abc", u"ABD"), 0);
  EXPECT_GT(CompareNames(u"b_", u"BA"), 0);  // '_' sorts after 'A' once 'a' is upper case
}

// The engine finds a name whatever its case, keeps the case a name was made
// with, and refuses names longer than 31 units or holding what paths and
// properties use. That it compares names by the order above, Cyrillic and
// all, is the sibling-tree test's, whose model decides what is taken by it.
TEST(Names, TheEngineFindsElementsIgnoringCaseAndKeepsTheCaseTheyWereMadeWith) {
  std::unique_ptr<stg::IStorage> root;
  ASSERT_EQ(CreateDocfileOn(std::make_shared<MemoryLockBytes>(), kCreateMode, &root), stg::kS_OK);
  const std::pair<std::u16string, std::u16string> made[] = {
      {u"files", u"Files"}, {std::u16string(31, u'n'), std::u16string(31, u'N')}};
  for (const auto& [name, other] : made)
    PutStream(*root, name, Utf16ToUtf8(name));
  for (const auto& [name, other] : made)
    EXPECT_EQ(GetStream(*root, other), Utf16ToUtf8(name)) << Utf16ToUtf8(other);
  std::unique_ptr<stg::IStream> s;
  PutStream(*root, u"\x05SummaryInformation", "a property set's name");
  const std::u16string tooLong(32, u'n');
  const std::u16string_view badNames[] = {tooLong, u"",   u"a/b",      u"a\\b",
                                          u"a:b",  u"a!", {u"a\0b", 3}};
  for (std::u16string_view bad : badNames)
    EXPECT_EQ(root->CreateStream(bad, kCreateMode, &s), stg::kStgEInvalidName) << Utf16ToUtf8(bad);
  EXPECT_EQ(root->OpenStream(tooLong, kNestedRead, &s), stg::kStgEInvalidName);
  stg::StatStg record;
  ASSERT_EQ(root->OpenStream(u"FILES", kNestedRead, &s), stg::kS_OK);
  ASSERT_EQ(s->Stat(&record, stg::kStatFlagDefault), stg::kS_OK);
  EXPECT_EQ(record.name, u"files");
}

TEST(SiblingTree, EveryChangeLeavesValidSortedRedBlackTrees) {
  auto bytes = std::make_shared<MemoryLockBytes>();
  std::unique_ptr<IStorage> root;
  ASSERT_EQ(CreateDocfileOn(bytes, kCreateMode, &root), stg::kS_OK);
  std::unique_ptr<IStorage> sub = Sub(*root, u"sub", kCreateMode);
  std::mt19937 random(7);
  const std::u16string letters = u"abcXYZабвЯЁё0_";
  std::vector<std::u16string> model[2];  // root (besides "sub"), sub
  IStorage* storages[2] = {root.get(), sub.get()};
  for (int op = 0; op < 3000; ++op) {
    int which = random() % 2;
    std::vector<std::u16string>& names = model[which];
    if (names.empty() || random() % 5 < 3) {
      std::u16string name;
      for (size_t n = 1 + random() % 6; n > 0; --n)
        name += letters[random() % letters.size()];
      bool taken = name == u"sub" || std::any_of(names.begin(), names.end(), [&](const auto& m) {
                     return CompareNames(m, name) == 0;
                   });
      std::unique_ptr<stg::IStream> s;
      ASSERT_EQ(storages[which]->CreateStream(name, kWriteMode, &s),
                taken ? stg::kStgEFileAlreadyExists : stg::kS_OK);
      if (!taken) names.push_back(name);
    } else {
      size_t victim = random() % names.size();
      ASSERT_EQ(storages[which]->DestroyElement(names[victim]), stg::kS_OK);
      names.erase(names.begin() + static_cast<long>(victim));
    }
    if (op % 250 == 0) {
      ASSERT_EQ(root->Commit(0), stg::kS_OK);
      ASSERT_EQ(CheckTrees(bytes->Data()), "") << "after operation " << op;
    }
  }
  ASSERT_EQ(root->Commit(0), stg::kS_OK);
  ASSERT_EQ(CheckTrees(bytes->Data()), "");
  model[0].push_back(u"sub");
  for (int which = 0; which < 2; ++which) {
    std::vector<std::u16string> listed = Names(*storages[which]);
    EXPECT_TRUE(InFormatOrder(listed));
    std::sort(listed.begin(), listed.end());
    std::sort(model[which].begin(), model[which].end());
    EXPECT_EQ(listed, model[which]);
  }
}

// Roots holding streams linked as one list in any order and colour, as some
// writers make them.
TEST(SiblingTree, ReadsListsOfAnyColourThousandsDeepAndRewritesThemBalanced) {
  struct Shape {
    size_t count;
    uint8_t color;
    bool shuffled;
  };
  for (Shape shape : {Shape{5000, 1, false}, Shape{43, 0, false}, Shape{300, 1, true}}) {
    SCOPED_TRACE(testing::Message() << shape.count << " " << int(shape.color) << shape.shuffled);
    CfbBuilder b;
    std::vector<uint32_t> ids;
    for (size_t i = 0; i < shape.count; ++i)
      ids.push_back(b.AddStream(Numbered("n", i + 10000), "d"));
    if (shape.shuffled) std::shuffle(ids.begin(), ids.end(), std::mt19937(3));
    b.LinkAsList(0, ids, shape.color);
    auto bytes = std::make_shared<MemoryLockBytes>(b.Build());
    EXPECT_NE(CheckTrees(bytes->Data()), "");  // not a red-black tree
    std::unique_ptr<IStorage> root;
    ASSERT_EQ(OpenDocfileOn(bytes, kWriteMode, &root), stg::kS_OK);
    std::vector<std::u16string> names = Names(*root);
    ASSERT_EQ(names.size(), shape.count);
    EXPECT_EQ(InFormatOrder(names), !shape.shuffled);  // the list's own order
    for (size_t i : {size_t{0}, shape.count / 2, shape.count - 1})
      EXPECT_EQ(GetStream(*root, Numbered("N", i + 10000)), "d");
    PutStream(*root, u"added", "new");
    ASSERT_EQ(root->DestroyElement(Numbered("n", 10001)), stg::kS_OK);
    ASSERT_EQ(root->Commit(0), stg::kS_OK);
    EXPECT_EQ(CheckTrees(bytes->Data()), "");
    names = Names(*root);
    EXPECT_EQ(names.size(), shape.count);
    EXPECT_TRUE(InFormatOrder(names));
    EXPECT_EQ(GetStream(*root, Numbered("n", 10000 + shape.count - 1)), "d");
  }
}

// Some writers leave a name's length field stale after a rename, or put a
// name twice in one storage: names come from the field itself, and each twin
// stays reachable until it is destroyed.
TEST(SiblingTree, StaleNameLengthsAndTwinNamesAreRead) {
  CfbBuilder b;
  uint32_t longer = b.AddStream(u"renamed", "1");
  b[longer].nameLengthField = 40;  // the old, longer name's length
  uint32_t shorter = b.AddStream(u"a-longer-new-name", "2");
  b[shorter].nameLengthField = 4;
  uint32_t odd = b.AddStream(u"odd", "3");
  b[odd].nameLengthField = 65535;
  b.LinkAsList(
      0, {odd, b.AddStream(u"twin", "first"), b.AddStream(u"TWIN", "second"), longer, shorter}, 1);
  auto bytes = std::make_shared<MemoryLockBytes>(b.Build());
  std::unique_ptr<IStorage> root;
  ASSERT_EQ(OpenDocfileOn(bytes, kWriteMode, &root), stg::kS_OK);
  EXPECT_EQ(Names(*root), (std::vector<std::u16string>{u"odd", u"twin", u"TWIN", u"renamed",
                                                       u"a-longer-new-name"}));
  EXPECT_EQ(GetStream(*root, u"RENAMED"), "1");
  PutStream(*root, u"more", "m");  // rebuilds the tree around both twins
  ASSERT_EQ(root->DestroyElement(u"twin"), stg::kS_OK);
  ASSERT_EQ(root->DestroyElement(u"twin"), stg::kS_OK);
  EXPECT_EQ(Names(*root),
            (std::vector<std::u16string>{u"odd", u"more", u"renamed", u"a-longer-new-name"}));
  root.reset();
  ::slv2::test::TempDir dir;  // the rewritten names' length fields
  ::slv2::test::WriteFile(dir / "stale.stg", bytes->Data());
  ExpectForeignReadersAgree(dir / "stale.stg");
}

}  // namespace
}  // namespace slv2::cfb::test
