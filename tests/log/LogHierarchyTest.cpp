#include <gtest/gtest.h>

#include <thread>

#include "LogTestSupport.h"
#include "log/LogHierarchy.h"

namespace slv2 {
namespace {

TEST(LogHierarchy, ReturnsOneCategoryPerNameBelowItsDottedParents) {
  TLogHierarchy hierarchy;
  TLogCategory& abc = hierarchy.GetCategory("a.b.c");
  EXPECT_EQ(&hierarchy.GetCategory("a.b.c"), &abc);
  EXPECT_NE(&hierarchy.GetCategory("A.b.c"), &abc);
  EXPECT_EQ(abc.Parent(), &hierarchy.GetCategory("a.b"));
  EXPECT_EQ(abc.Parent()->Parent(), &hierarchy.GetCategory("a"));
  EXPECT_EQ(abc.Parent()->Parent()->Parent(), &hierarchy.Root());
  EXPECT_EQ(hierarchy.GetCategory("TSlv2MainUpdater").Parent(), &hierarchy.Root());
}

TEST(LogHierarchy, ThreadsAgreeOnCategoriesAndDeliverEveryLine) {
  TLogHierarchy hierarchy;
  auto lines = std::make_shared<test::CaptureAppender>();
  test::Attached attached(hierarchy.GetCategory("p"), lines);
  constexpr int kThreads = 6, kNames = 40;
  std::vector<std::vector<TLogCategory*>> seen(kThreads, std::vector<TLogCategory*>(kNames));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kNames; ++i) {
        int k = (i * 7 + t * 11) % kNames;  // each thread in its own order
        seen[t][k] =
            &hierarchy.GetCategory("p.q" + std::to_string(k % 3) + ".r" + std::to_string(k));
        seen[t][k]->Error("line");
      }
    });
  }
  for (auto& thread : threads)
    thread.join();
  for (int k = 0; k < kNames; ++k) {
    for (int t = 1; t < kThreads; ++t)
      EXPECT_EQ(seen[t][k], seen[0][k]);
    EXPECT_EQ(seen[0][k]->Parent(), &hierarchy.GetCategory("p.q" + std::to_string(k % 3)));
  }
  EXPECT_EQ(*lines->lines, std::vector<std::string>(kThreads * kNames, "ERROR - line\r\n"));
}

}  // namespace
}  // namespace slv2
