#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "LogTestSupport.h"
#include "app/log/LogHierarchy.h"

namespace slv2 {
namespace {

using test::Attached;
using test::CaptureAppender;

TEST(LogHierarchy, ReturnsOneCategoryPerNameHungBelowItsDottedParents) {
  TLogHierarchy hierarchy;
  TLogCategory& abc = hierarchy.GetCategory("a.b.c");
  EXPECT_EQ(abc.Name(), "a.b.c");
  EXPECT_EQ(&hierarchy.GetCategory("a.b.c"), &abc);
  EXPECT_NE(&hierarchy.GetCategory("A.b.c"), &abc);
  TLogCategory* ab = abc.Parent();
  ASSERT_NE(ab, nullptr);
  EXPECT_EQ(ab, &hierarchy.GetCategory("a.b"));
  EXPECT_EQ(ab->Parent(), &hierarchy.GetCategory("a"));
  EXPECT_EQ(ab->Parent()->Parent(), &hierarchy.Root());
  EXPECT_EQ(hierarchy.GetCategory("TSlv2PuncUpdater").Parent(), &hierarchy.Root());
  EXPECT_EQ(abc.Hierarchy(), &hierarchy);
  EXPECT_EQ(hierarchy.Root().Parent(), nullptr);
  EXPECT_EQ(hierarchy.Threshold(), -1);
}

TEST(LogHierarchy, AFactoryMakesTheCategoryAndItsMissingParents) {
  class Counting : public TLogCategoryFactory {
   public:
    std::unique_ptr<TLogCategory> MakeNewCategoryInstance(const std::string& name) override {
      made.insert(name);
      return std::make_unique<TLogCategory>(name);
    }
    std::set<std::string> made;
  } factory;
  TLogHierarchy hierarchy;
  hierarchy.GetCategory("x");
  hierarchy.GetCategory("x.y.z", factory);
  EXPECT_EQ(factory.made, (std::set<std::string>{"x.y.z", "x.y"}));
}

TEST(LogHierarchy, ConcurrentLookupsAgreeOnEveryCategoryAndParent) {
  TLogHierarchy hierarchy;
  constexpr int kThreads = 8;
  std::vector<std::string> names;
  for (int i = 0; i < 40; ++i) {
    names.push_back("p" + std::to_string(i % 5) + ".q" + std::to_string(i % 7) + ".r" +
                    std::to_string(i));
  }
  std::vector<std::vector<TLogCategory*>> seen(kThreads, std::vector<TLogCategory*>(names.size()));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (size_t i = 0; i < names.size(); ++i) {
        // Each thread walks the names in its own order.
        size_t k = (i * 7 + static_cast<size_t>(t) * 11) % names.size();
        seen[t][k] = &hierarchy.GetCategory(names[k]);
      }
    });
  }
  for (auto& thread : threads)
    thread.join();
  for (size_t k = 0; k < names.size(); ++k) {
    for (int t = 1; t < kThreads; ++t)
      EXPECT_EQ(seen[t][k], seen[0][k]) << names[k];
    TLogCategory* c = seen[0][k];
    std::string parent = names[k].substr(0, names[k].rfind('.'));
    EXPECT_EQ(c->Parent(), &hierarchy.GetCategory(parent));
    EXPECT_EQ(c->Parent()->Parent()->Parent(), &hierarchy.Root());
  }
}

TEST(LogHierarchy, ConcurrentLoggingDeliversEveryLineWhole) {
  TLogHierarchy hierarchy;
  auto lines = std::make_shared<CaptureAppender>();
  Attached attached(hierarchy.GetCategory("busy"), lines);
  constexpr int kThreads = 6, kEach = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      TLogCategory& mine = hierarchy.GetCategory("busy.t" + std::to_string(t));
      for (int i = 0; i < kEach; ++i)
        mine.Error("line " + std::to_string(i));
    });
  }
  for (auto& thread : threads)
    thread.join();
  ASSERT_EQ(lines->Lines().size(), static_cast<size_t>(kThreads * kEach));
  for (const std::string& line : lines->Lines()) {
    EXPECT_EQ(line.rfind("ERROR - line ", 0), 0u);
    EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
  }
}

}  // namespace
}  // namespace slv2
