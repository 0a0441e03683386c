#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "TestSupport.h"
#include "log/LogFileAppender.h"
#include "log/LogHierarchy.h"

namespace slv2 {
namespace {

TEST(LogFileAppender, AppendsTheTrailOfTheCategoriesItIsAttachedTo) {
  test::TempDir dir;
  test::WriteFile(dir / "Update.log", "earlier run\r\n");
  EXPECT_EQ(TLogFileAppender::Open(dir / "missing/x.log"), nullptr);
  auto file = TLogFileAppender::Open(dir / "UPDATE.LOG");
  ASSERT_NE(file, nullptr);
  TLogHierarchy hierarchy;
  TLogCategory& updater = hierarchy.GetCategory("TSlv2MainUpdater");
  updater.SetPriority(&TLogPriority::Debug());
  {
    test::Attached attached(updater, file);
    updater.Debug("copyFiles():");
    updater.Warn(test::A("  нет файла"));
  }
  updater.Error("after detaching: not in the file");
  EXPECT_EQ(test::ReadFile(dir / "Update.log"),
            "earlier run\r\nDEBUG - copyFiles():\r\nWARN - " + test::A("  нет файла") + "\r\n");
}

}  // namespace
}  // namespace slv2
