// The publisher's side below slv2pack make: the deletion list and the checks
// of a plan, on plans built by hand.
#include <gtest/gtest.h>

#include "publish/DeleteList.h"
#include "publish/PlanCheck.h"

namespace slv2::publish {
namespace {

TFileTree Tree(const std::vector<std::string>& paths) {
  TFileTree tree;
  for (const std::string& path : paths)
    tree[FileKey(path)] = {path, "/nowhere/" + path, 1};
  return tree;
}

TEST(DeleteList, AFolderNewKeepsNothingOfGoesAsOneEntryAndMergesAfterThePublishersOwn) {
  TFileTree oldTree =
      Tree({"a.txt", "gone/x.txt", "gone/sub/y.txt", "kept/old.txt", "kept/new.txt"});
  TFileTree newTree = Tree({"a.txt", "kept/new.txt"});
  std::vector<TFilePlan> plan;
  for (const auto& [key, file] : oldTree) {
    if (!newTree.count(key))
      plan.push_back({kProductPart, TFileChange::kRemoved, &file, nullptr, {}});
  }
  std::vector<std::string> entries = DeletionEntries(plan, newTree);
  EXPECT_EQ(entries, (std::vector<std::string>{"gone", "kept\\old.txt"}));

  struct Row {
    std::string ini, merged;
  };
  for (const Row& row : {
           Row{"", "[Files]\r\n1=gone\r\n2=kept\\old.txt\r\n"},
           Row{"[Files]\n7=logs\\*.log\n\n[Other]\nx=1\n",
               "[Files]\r\n7=logs\\*.log\r\n8=gone\r\n9=kept\\old.txt\r\n\r\n[Other]\r\nx=1\r\n"},
           Row{"[files]\r\n1=GONE\r\n", "[files]\r\n1=GONE\r\n2=kept\\old.txt\r\n"},
       }) {
    EXPECT_EQ(MergeDeletionEntries(row.ini, entries), row.merged) << row.ini;
  }
}

TEST(PlanCheck, NamesWhatTheStorageCannotCarryAndDoubtsAboutTheReleases) {
  TFileTree oldTree = Tree({"same.txt", "old only.txt"});
  TFileTree newTree = Tree({"same.txt", "new only.txt", "x.diff", "y.patch"});
  auto plan = [&](bool shared) {
    std::vector<TFilePlan> files;
    for (const auto& [key, file] : newTree) {
      bool both = shared && oldTree.count(key);
      files.push_back({kProductPart,
                       both ? TFileChange::kSame : TFileChange::kNew,
                       both ? &oldTree.at(key) : nullptr,
                       &file,
                       {}});
    }
    for (const auto& [key, file] : oldTree) {
      if (!shared || !newTree.count(key))
        files.push_back({kProductPart, TFileChange::kRemoved, &file, nullptr, {}});
    }
    return files;
  };
  TPlanCheck check = CheckPlan(plan(true));
  EXPECT_EQ(check.problems, (std::vector<std::string>{
                                "product/x.diff: the updater takes a name ending in .diff for "
                                "a difference or a merge, not for a file",
                                "product/y.patch: the updater takes a name ending in .patch "
                                "for a difference or a merge, not for a file"}));
  EXPECT_TRUE(check.warnings.empty());
  EXPECT_FALSE(check.nothingToUpdate);
  EXPECT_EQ(CheckPlan(plan(false)).warnings,
            std::vector<std::string>{
                "OLD and NEW share no file: is one of them a folder too deep or too high?"});
  TFileTree one = Tree({"same.txt"});
  EXPECT_TRUE(
      CheckPlan(
          {{kProductPart, TFileChange::kSame, &one.begin()->second, &one.begin()->second, {}}})
          .nothingToUpdate);
}

}  // namespace
}  // namespace slv2::publish
