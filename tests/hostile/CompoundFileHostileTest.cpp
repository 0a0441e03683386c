// Damaged and hostile update storages (compound files) through the updater
// core, as the program meets them beside its executable.
#include <gtest/gtest.h>

#include <functional>

#include "HostileUpdate.h"

namespace slv2::test::hostile {
namespace {

// Runs every storage of the corpus whose name `select` takes; `check` looks
// at the product folder after each.
void RunStorages(const char* group, const std::function<bool(const std::string&)>& select,
                 const std::function<void(const CorpusFile&, const UpdateSetting&)>& check = {}) {
  Tally tally(group);
  UpdateSetting setting;
  for (const CorpusFile& file : Corpus("cfb")) {
    if (!select(file.name)) continue;
    setting.Reset();
    WriteFile(setting.storageFile, file.bytes);
    Verdict verdict;
    if (!setting.Run(file, &verdict)) continue;
    ExpectVerdict(file, verdict);
    tally.Add(file, verdict);
    EXPECT_EQ(Content(setting.product + "/keep.txt"), "product file") << file.name;
    if (check) check(file, setting);
  }
}

bool Has(const std::string& name, const char* part) {
  return name.find(part) != std::string::npos;
}

TEST(CompoundFileHostileTest, TheUndamagedStorageUpdatesTheProduct) {
  RunStorages(
      "cfb (undamaged)", [](const std::string& n) { return n.starts_with("ok-"); },
      [](const CorpusFile& file, const UpdateSetting& s) {
        EXPECT_EQ(Content(s.product + "/readme.txt"), "new readme\r\n") << file.name;
        EXPECT_EQ(Content(s.product + "/docs/a.txt"), "docs a") << file.name;
        EXPECT_EQ(ReadFile(s.product + "/big.bin").size(), 4096u) << file.name;
        EXPECT_FALSE(PathExists(s.product + "/old.txt")) << file.name;
      });
}

TEST(CompoundFileHostileTest, TruncatedAndCorruptedStoragesAreRejectedWithoutHarm) {
  RunStorages("cfb (truncated, corrupted, huge sizes)", [](const std::string& n) {
    return n.starts_with("truncated-") || n.starts_with("flip-") || Has(n, "size-") ||
           n.starts_with("sector-shift-");
  });
}

TEST(CompoundFileHostileTest, CyclingChainsAndTreesEndPromptly) {
  RunStorages("cfb (loops)", [](const std::string& n) {
    return Has(n, "-loop") || Has(n, "bad-tree-") || Has(n, "bad-difat-");
  });
}

TEST(CompoundFileHostileTest, HostileNamesAndDeepTreesStayInsideTheProductFolder) {
  RunStorages(
      "cfb (names, nesting)",
      [](const std::string& n) {
        return (Has(n, "names-") || Has(n, "utf16-") || n.starts_with("deep-")) && !Has(n, "-loop");
      },
      [](const CorpusFile& file, const UpdateSetting& s) {
        // The good neighbour of a badly named element still arrives.
        if (Has(file.name, "utf16-")) {
          EXPECT_EQ(Content(s.product + "/good.txt"), "good") << file.name;
        }
      });
}

}  // namespace
}  // namespace slv2::test::hostile
