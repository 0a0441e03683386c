// The publisher's deletion list below slv2pack make, on plans built by hand
// (the plan and its checks are proven by make's end-to-end tables).
#include <gtest/gtest.h>

#include <deque>

#include "publish/DeleteList.h"

namespace slv2::publish {
namespace {

using Strings = std::vector<std::string>;

// The files of a hand-made plan; each path is in OLD, and in NEW unless it
// is removed.
struct HandPlan {
  std::deque<TReleaseFile> files;
  std::vector<TFilePlan> plan;
  TFileTree newTree;

  // The plan points into `files`: a HandPlan is made in place, never copied.
  HandPlan(const HandPlan&) = delete;
  explicit HandPlan(const std::vector<std::pair<TFileChange, std::string>>& rows) {
    for (const auto& [change, path] : rows) {
      const TReleaseFile* file = &files.emplace_back(TReleaseFile{path, "/nowhere/" + path, 1});
      bool inNew = change != TFileChange::kRemoved;
      plan.push_back({kProductPart, change, file, inNew ? file : nullptr, {}});
      if (inNew) newTree[FileKey(path)] = *file;
    }
  }
};

constexpr auto kSame = TFileChange::kSame, kChanged = TFileChange::kChanged,
               kRemoved = TFileChange::kRemoved;

TEST(DeleteList, AFolderNewKeepsNothingOfGoesAsOneEntry) {
  const struct {
    HandPlan hand;
    Strings entries;
  } cases[] = {
      {HandPlan({{kSame, "a.txt"},
                 {kRemoved, "gone/sub/y.txt"},
                 {kRemoved, "gone/x.txt"},
                 {kSame, "kept/new.txt"},
                 {kRemoved, "kept/old.txt"}}),
       {"gone", "kept\\old.txt"}},
      {HandPlan({{kRemoved, "a/b/c.txt"}, {kRemoved, "a/b/d.txt"}, {kChanged, "A/x.txt"}}),
       {"a\\b"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DeletionEntries(c.hand.plan, c.hand.newTree), c.entries);
}

TEST(DeleteList, MergesAfterThePublishersOwnEntriesWithoutRepeatingThem) {
  const Strings entries = {"gone", "kept\\old.txt"};
  const std::pair<std::string, std::string> cases[] = {
      {"", "[Files]\r\n1=gone\r\n2=kept\\old.txt\r\n"},
      {"[Files]\n7=logs\\*.log\nnote=x\n\n[Other]\nx=1\n",
       "[Files]\r\n7=logs\\*.log\r\nnote=x\r\n8=gone\r\n9=kept\\old.txt\r\n\r\n[Other]\r\nx=1\r\n"},
      {"[files]\r\n1=GONE\r\n2 = kept/old.txt\r\n", "[files]\r\n1=GONE\r\n2 = kept/old.txt\r\n"},
      {"[Other]\r\nx=1\r\n\r\n", "[Other]\r\nx=1\r\n\r\n[Files]\r\n1=gone\r\n2=kept\\old.txt\r\n"},
      {"[Other]\rx=1", "[Other]\r\nx=1\r\n\r\n[Files]\r\n1=gone\r\n2=kept\\old.txt\r\n"},
  };
  for (const auto& [ini, merged] : cases)
    EXPECT_EQ(MergeDeletionEntries(ini, entries), merged) << ini;
}

}  // namespace
}  // namespace slv2::publish
