#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "TestSupport.h"
#include "log/LogCategory.h"
#include "log/LogHierarchy.h"
#include "log/LogLog.h"

namespace slv2 {
namespace {

using Lines = std::vector<std::string>;
using test::Attached;
using test::CaptureAppender;
using test::DebugOutputCapture;

TLogCategory& Category(const std::string& name) {
  return TLogHierarchy::Default().GetCategory(name);
}

// The two lines for a category named in UTF-8, as the debugger output shows
// them (UTF-8 on Linux, program text on Windows).
std::string NotConfigured(const std::string& utf8Name) {
  return test::TerminalText(test::A("ERROR - No appenders could be found for category \"" +
                                    utf8Name +
                                    "\"\nERROR - Please initialize the logging system properly\n"));
}

TEST(LogCategory, UnconfiguredErrorsGiveTwoInternalLinesAndNothingElseIsWritten) {
  TLogCategory& updater = Category("TSlv2PuncUpdater");
  TLogCategory& cyrillic = Category(test::A("Категория"));
  DebugOutputCapture capture;
  updater.Debug("progress");
  updater.Info("info");
  updater.Warn("nothing to delete");
  updater.Error("copyFiles() failed");
  updater.Fatal("fatal");
  cyrillic.Error("x");
  EXPECT_EQ(capture.Text(), NotConfigured("TSlv2PuncUpdater") + NotConfigured("TSlv2PuncUpdater") +
                                NotConfigured("Категория"));
}

TEST(LogCategory, EventsGoToTheChainsAppendersWhileAdditivityIsOn) {
  auto order = std::make_shared<Lines>();
  auto tagged = [&](const char* tag) { return std::make_shared<CaptureAppender>(tag, order); };
  TLogCategory& child = Category("chain.child");
  Attached onChild(child, tagged("child:"));
  Attached onParent(Category("chain"), tagged("parent:"));
  Attached onRoot(TLogHierarchy::Default().Root(), tagged("root:"));
  child.Debug("below the root's ERROR");
  child.Error("one");
  child.SetAdditivity(false);
  child.Error("two");
  EXPECT_EQ(*order, (Lines{"child:ERROR - one\r\n", "parent:ERROR - one\r\n",
                           "root:ERROR - one\r\n", "child:ERROR - two\r\n"}));
  // Cut off from the root's appender, a category without its own is not
  // configured.
  TLogCategory& isolated = Category("isolated");
  isolated.SetAdditivity(false);
  DebugOutputCapture capture;
  isolated.Error("lost");
  EXPECT_EQ(capture.Text(), NotConfigured("isolated"));
}

TEST(LogCategory, PriorityIsInheritedFromTheNearestAncestorThatHasOne) {
  TLogCategory& a = Category("inherit");
  TLogCategory& abc = Category("inherit.b.c");
  auto lines = std::make_shared<CaptureAppender>();
  Attached attached(abc, lines);
  a.SetPriority(&TLogPriority::Debug());
  abc.Debug("passes");
  abc.SetPriority(&TLogPriority::Warn());
  abc.Info("below its own WARN");
  a.SetPriority(nullptr);
  abc.SetPriority(nullptr);
  abc.Warn("below the root's ERROR again");
  EXPECT_EQ(*lines->lines, (Lines{"DEBUG - passes\r\n"}));
}

TEST(LogCategory, TheInternalLogReportsANilRootPriorityAndObeysItsSwitches) {
  TLogRoot& root = TLogHierarchy::Default().Root();
  TLogLog& internal = TLogLog::Instance();
  DebugOutputCapture capture;
  root.SetPriority(nullptr);
  EXPECT_EQ(&root.EffectivePriority(), &TLogPriority::Debug());
  root.SetPriority(&TLogPriority::Error());
  TLogHierarchy::Default().SetThreshold(TLogPriority::Error().Level());
  Category("threshold").Error("disabled, and so are the reports");
  TLogHierarchy::Default().SetThreshold(-1);
  internal.Debug("hidden");
  internal.SetInternalDebugging(true);
  internal.Debug("shown");
  internal.SetInternalDebugging(false);
  EXPECT_EQ(capture.Text(), "ERROR - The root can't have a nil priority\nDEBUG - shown\n");
}

}  // namespace
}  // namespace slv2
