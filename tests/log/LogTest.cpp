// The logging component: the category tree, what reaches which appender, the
// internal log's reports and the log file.
#include <gtest/gtest.h>

#include <thread>

#include "TestSupport.h"
#include "log/LogFileAppender.h"
#include "log/LogHierarchy.h"
#include "log/LogLog.h"
#include "sys/FaultInjection.h"
#include "sys/WinError.h"

namespace slv2 {
namespace {

using Lines = std::vector<std::string>;

// Attaches to a category, for its own life, an appender that keeps every line
// after `tag` in `lines` (which several captures may share to show the order
// of their lines).
struct Capture {
  struct Appender : TLogAppender {
    Appender(std::string t, std::shared_ptr<Lines> l) : tag(std::move(t)), lines(std::move(l)) {}
    void Write(const std::string& text) override { lines->push_back(tag + text); }
    std::string tag;
    std::shared_ptr<Lines> lines;
  };
  explicit Capture(TLogCategory& c, std::string tag = "",
                   std::shared_ptr<Lines> into = std::make_shared<Lines>())
      : category(c), lines(into), appender(std::make_shared<Appender>(std::move(tag), into)) {
    category.AddAppender(appender);
  }
  ~Capture() { category.RemoveAppender(appender); }
  TLogCategory& category;
  std::shared_ptr<Lines> lines;
  std::shared_ptr<TLogAppender> appender;
};

TLogCategory& Category(const std::string& name) {
  return TLogHierarchy::Default().GetCategory(name);
}

// Without an appender on its chain, an event at the root's ERROR or above
// gives the internal log's two reports.
TEST(LogCategory, EventsGoToTheChainsAppendersWhileAdditivityIsOnElseToTheInternalLog) {
  Capture internal(TLogLog::Instance());
  Category("TSlv2PuncUpdater").Error("copyFiles() failed");
  EXPECT_EQ(*internal.lines,
            (Lines{"ERROR - No appenders could be found for category \"TSlv2PuncUpdater\"\r\n",
                   "ERROR - Please initialize the logging system properly\r\n"}));

  auto order = std::make_shared<Lines>();
  TLogCategory& child = Category("chain.child");
  Capture onChild(child, "child:", order);
  Capture onParent(Category("chain"), "parent:", order);
  Capture onRoot(TLogHierarchy::Default().Root(), "root:", order);
  child.Error("one");
  child.SetAdditivity(false);
  child.Error("two");
  EXPECT_EQ(*order, (Lines{"child:ERROR - one\r\n", "parent:ERROR - one\r\n",
                           "root:ERROR - one\r\n", "child:ERROR - two\r\n"}));
}

// A category's priority is its own or its nearest ancestor's; the root's is
// never nil (a nil one is reported and taken as DEBUG). A threshold disables
// events at or below it, the internal log's reports included.
TEST(LogCategory, PrioritiesComeFromTheNearestAncestorAndThresholdsDisable) {
  TLogRoot& root = TLogHierarchy::Default().Root();
  Capture internal(TLogLog::Instance());
  TLogCategory& a = Category("inherit");
  TLogCategory& abc = Category("inherit.b.c");
  Capture lines(abc);
  a.SetPriority(&TLogPriority::Debug());
  abc.Debug("passes");
  abc.SetPriority(&TLogPriority::Warn());
  abc.Info("below its own WARN");
  a.SetPriority(nullptr);
  abc.SetPriority(nullptr);
  abc.Warn("below the root's ERROR again");
  EXPECT_EQ(*lines.lines, (Lines{"DEBUG - passes\r\n"}));
  root.SetPriority(nullptr);
  EXPECT_EQ(root.Priority(), &TLogPriority::Debug());
  root.SetPriority(&TLogPriority::Error());
  TLogHierarchy::Default().SetThreshold(TLogPriority::Error().Level());
  Category("threshold").Error("disabled, and so are the reports");
  TLogHierarchy::Default().SetThreshold(-1);
  EXPECT_EQ(*internal.lines, (Lines{"ERROR - The root can't have a nil priority\r\n"}));
}

#ifndef _WIN32
// On Linux the internal log's debugger output is standard error, in UTF-8.
TEST(LogLog, WritesToStandardErrorInTheTerminalEncoding) {
  testing::internal::CaptureStderr();
  Category(test::A("Категория")).Error("x");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR - No appenders could be found for category \"Категория\"\n"
            "ERROR - Please initialize the logging system properly\n");
}
#endif

TEST(LogHierarchy, GivesOneCategoryPerNameBelowItsDottedParentsAcrossThreads) {
  TLogHierarchy hierarchy;
  Capture lines(hierarchy.GetCategory("p"));
  constexpr int kThreads = 6, kNames = 40;
  std::vector<std::vector<TLogCategory*>> seen(kThreads, std::vector<TLogCategory*>(kNames));
  auto name = [](int k) { return "p.q" + std::to_string(k % 3) + ".r" + std::to_string(k); };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kNames; ++i) {
        int k = (i * 7 + t * 11) % kNames;  // each thread in its own order
        (seen[t][k] = &hierarchy.GetCategory(name(k)))->Error("line");
      }
    });
  }
  for (auto& thread : threads)
    thread.join();
  for (int k = 0; k < kNames; ++k) {
    for (int t = 0; t < kThreads; ++t)
      EXPECT_EQ(seen[t][k], &hierarchy.GetCategory(name(k)));
    EXPECT_EQ(seen[0][k]->Parent(), &hierarchy.GetCategory("p.q" + std::to_string(k % 3)));
  }
  EXPECT_EQ(*lines.lines, Lines(kThreads * kNames, "ERROR - line\r\n"));
}

// The file takes the trail of the categories it is attached to, after what
// an earlier run left. A file that stops taking lines (a full disk) is said
// once, to the owner of the run and not on the internal log; the lines after
// the lost one are not written, so the file never reads as a complete trail.
TEST(LogFileAppender, AppendsTheTrailAndAFailedWriteEndsTheFile) {
  test::TempDir dir;
  test::WriteFile(dir / "Update.log", "earlier run\r\n");
  EXPECT_EQ(TLogFileAppender::Open(dir / "missing/x.log"), nullptr);
  auto file = TLogFileAppender::Open(dir / "UPDATE.LOG");
  ASSERT_NE(file, nullptr);
  TLogHierarchy hierarchy;
  TLogCategory& updater = hierarchy.GetCategory("TSlv2MainUpdater");
  updater.SetPriority(&TLogPriority::Debug());
  updater.AddAppender(file);
  updater.Debug("copyFiles():");
  updater.Warn(test::A("  нет файла"));
  fs::fault::Arm(1, fs::fault::kWrite);
  updater.Error("lost");
  fs::fault::Disarm();
  updater.Error("after the lost one");
  updater.RemoveAppender(file);
  EXPECT_EQ(file->Failure(), "Cannot write the log file \"" + dir / "UPDATE.LOG" +
                                 "\": " + SysErrorMessage(kErrorDiskFull));
  EXPECT_EQ(test::ReadFile(dir / "Update.log"),
            "earlier run\r\nDEBUG - copyFiles():\r\nWARN - " + test::A("  нет файла") + "\r\n");
}

// A file name can carry any byte but "/": none starts a line of its own.
TEST(LogSimpleLayout, ControlCharactersOfAMessageAreEscaped) {
  TLogHierarchy hierarchy;
  TLogCategory& category = hierarchy.GetCategory("TSlv2MainUpdater");
  Capture capture(category);
  category.Error("plain \\ text\tand a tab, a\nERROR - forged, cr\r\nlf");
  category.Error(std::string("nul\0bell\a\x1B[2J\x7F", 14) + test::A(" файл.txt"));
  EXPECT_EQ(*capture.lines,
            (Lines{"ERROR - plain \\ text\tand a tab, a\\x0AERROR - forged, cr\\x0D\\x0Alf\r\n",
                   "ERROR - nul\\x00bell\\x07\\x1B[2J\\x7F" + test::A(" файл.txt") + "\r\n"}));
}

}  // namespace
}  // namespace slv2
