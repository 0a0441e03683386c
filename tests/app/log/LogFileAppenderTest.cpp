#include <gtest/gtest.h>

#include <thread>

#include "LogTestSupport.h"
#include "TestSupport.h"
#include "app/log/LogFileAppender.h"
#include "app/log/LogHierarchy.h"

namespace slv2 {
namespace {

using test::Attached;

TEST(LogFileAppender, AppendsTheTrailOfTheCategoriesItIsAttachedTo) {
  test::TempDir dir;
  test::WriteFile(dir / "Update.log", "earlier run\r\n");
  TLogHierarchy hierarchy;
  auto file = TLogFileAppender::Open(dir / "UPDATE.LOG");
  ASSERT_NE(file, nullptr);
  TLogCategory& updater = hierarchy.GetCategory("TSlv2MainUpdater");
  updater.SetPriority(&TLogPriority::Debug());
  {
    Attached attached(updater, file);
    updater.Debug("copyFiles():");
    updater.Warn(test::A("  нет файла"));
  }
  updater.Error("after detaching: not in the file");
  EXPECT_EQ(test::ReadFile(dir / "Update.log"),
            "earlier run\r\nDEBUG - copyFiles():\r\nWARN - " + test::A("  нет файла") + "\r\n");
}

TEST(LogFileAppender, CreatesAMissingFileAndRefusesAMissingFolder) {
  test::TempDir dir;
  auto file = TLogFileAppender::Open(dir / "new.log");
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(test::PathExists(dir / "new.log"));
  EXPECT_EQ(TLogFileAppender::Open(dir / "missing/x.log"), nullptr);
}

TEST(LogFileAppender, LinesOfSeveralThreadsStayWhole) {
  test::TempDir dir;
  TLogHierarchy hierarchy;
  TLogCategory& category = hierarchy.GetCategory("threads");
  auto file = TLogFileAppender::Open(dir / "t.log");
  ASSERT_NE(file, nullptr);
  {
    Attached attached(category, file);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&] {
        for (int i = 0; i < 200; ++i)
          category.Error(std::string(50, 'x'));
      });
    }
    for (auto& thread : threads)
      thread.join();
  }
  std::string expected;
  for (int i = 0; i < 800; ++i)
    expected += "ERROR - " + std::string(50, 'x') + "\r\n";
  EXPECT_EQ(test::ReadFile(dir / "t.log"), expected);
}

}  // namespace
}  // namespace slv2
