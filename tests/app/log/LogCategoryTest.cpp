#include <gtest/gtest.h>

#include <stdexcept>

#include "LogTestSupport.h"
#include "TestSupport.h"
#include "app/log/LogCategory.h"
#include "app/log/LogHierarchy.h"
#include "app/log/LogLog.h"
#include "sys/Exception.h"

namespace slv2 {
namespace {

using test::Attached;
using test::CaptureAppender;
using test::StderrCapture;

TLogCategory& Category(const std::string& name) {
  return TLogHierarchy::Default().GetCategory(name);
}

const char* const kNotConfigured = "ERROR - Please initialize the logging system properly\n";

TEST(LogCategory, UnconfiguredErrorsReportTwoLinesAndNothingElseIsWritten) {
  TLogCategory& updater = Category("TSlv2PuncUpdater");
  StderrCapture capture;
  updater.Debug("copied bin\\app.dll");
  updater.Info("info");
  updater.Warn("nothing to delete");
  updater.Error("copyFiles() failed: EgmStorage (cannot open)");
  updater.Fatal("fatal");
  std::string expected =
      std::string("ERROR - No appenders could be found for category \"TSlv2PuncUpdater\"\n") +
      kNotConfigured;
  EXPECT_EQ(capture.Text(), expected + expected);
}

TEST(LogCategory, InternalReportsReachTheTerminalAsUtf8) {
  TLogCategory& category = Category(test::A("Категория"));
  StderrCapture capture;
  category.Error("x");
  EXPECT_EQ(capture.Text(),
            std::string("ERROR - No appenders could be found for category \"Категория\"\n") +
                kNotConfigured);
}

TEST(LogCategory, AttachedAppendersReceiveFormattedLinesOfTheWholeChain) {
  auto root = std::make_shared<CaptureAppender>();
  Attached onRoot(TLogHierarchy::Default().Root(), root);
  TLogCategory& updater = Category("TSlv2MainUpdater");
  StderrCapture capture;
  updater.Debug("dropped below the root's ERROR");
  updater.Error(test::A("ошибка"));
  EXPECT_EQ(capture.Text(), "");
  EXPECT_EQ(root->Lines(), (std::vector<std::string>{"ERROR - " + test::A("ошибка") + "\r\n"}));
}

TEST(LogCategory, AdditivityDecidesWhetherAncestorsSeeTheEvent) {
  std::vector<std::string> order;
  TLogCategory& parent = Category("additive");
  TLogCategory& child = Category("additive.child");
  Attached onChild(child, std::make_shared<CaptureAppender>("child:", &order));
  Attached onParent(parent, std::make_shared<CaptureAppender>("parent:", &order));
  child.Error("one");
  EXPECT_EQ(order, (std::vector<std::string>{"child:ERROR - one\r\n", "parent:ERROR - one\r\n"}));

  order.clear();
  child.SetAdditivity(false);
  child.Error("two");
  EXPECT_EQ(order, (std::vector<std::string>{"child:ERROR - two\r\n"}));
  child.SetAdditivity(true);
}

TEST(LogCategory, AChainCutByAdditivityWithoutAppendersIsNotConfigured) {
  auto root = std::make_shared<CaptureAppender>();
  Attached onRoot(TLogHierarchy::Default().Root(), root);
  TLogCategory& isolated = Category("isolated");
  isolated.SetAdditivity(false);
  StderrCapture capture;
  isolated.Error("lost");
  EXPECT_EQ(capture.Text(),
            std::string("ERROR - No appenders could be found for category \"isolated\"\n") +
                kNotConfigured);
  EXPECT_TRUE(root->Lines().empty());
  isolated.SetAdditivity(true);
}

TEST(LogCategory, PriorityIsInheritedFromTheNearestAncestorThatHasOne) {
  TLogCategory& a = Category("inherit");
  TLogCategory& abc = Category("inherit.b.c");
  auto lines = std::make_shared<CaptureAppender>();
  Attached attached(abc, lines);
  EXPECT_EQ(&abc.EffectivePriority(), &TLogPriority::Error());
  a.SetPriority(&TLogPriority::Debug());
  EXPECT_EQ(abc.Priority(), nullptr);
  EXPECT_EQ(&abc.EffectivePriority(), &TLogPriority::Debug());
  abc.Debug("now passes");
  abc.SetPriority(&TLogPriority::Warn());
  abc.Info("below its own WARN");
  abc.Warn("passes");
  a.SetPriority(nullptr);
  abc.SetPriority(nullptr);
  abc.Warn("below the root's ERROR again");
  EXPECT_EQ(lines->Lines(),
            (std::vector<std::string>{"DEBUG - now passes\r\n", "WARN - passes\r\n"}));
}

TEST(LogCategory, TheRootCannotLoseItsPriority) {
  TLogRoot& root = TLogHierarchy::Default().Root();
  EXPECT_STREQ(root.Name().c_str(), "root");
  EXPECT_EQ(root.Priority(), &TLogPriority::Error());
  StderrCapture capture;
  root.SetPriority(nullptr);
  EXPECT_EQ(capture.Text(), "ERROR - The root can't have a nil priority\n");
  EXPECT_EQ(root.Priority(), &TLogPriority::Debug());
  root.SetPriority(&TLogPriority::Error());
}

TEST(LogCategory, TheThresholdDisablesLevelsEverywhereTheInternalLogIncluded) {
  TLogHierarchy& hierarchy = TLogHierarchy::Default();
  TLogCategory& category = Category("threshold");
  category.SetPriority(&TLogPriority::Debug());
  auto lines = std::make_shared<CaptureAppender>();
  {
    Attached attached(category, lines);
    hierarchy.SetThreshold(TLogPriority::Warn().Level());
    category.Warn("disabled");
    category.Error("passes");
    hierarchy.SetThreshold(-1);
  }
  EXPECT_EQ(lines->Lines(), (std::vector<std::string>{"ERROR - passes\r\n"}));
  StderrCapture capture;
  hierarchy.SetThreshold(TLogPriority::Error().Level());
  category.Fatal("no appender, but the reports are disabled");
  hierarchy.SetThreshold(-1);
  EXPECT_EQ(capture.Text(), "");
  category.SetPriority(nullptr);
}

TEST(LogCategory, InternalDebugLinesNeedTheSwitch) {
  TLogLog& internal = TLogLog::Instance();
  StderrCapture capture;
  internal.Debug("hidden");
  internal.SetInternalDebugging(true);
  internal.Debug("shown");
  internal.SetInternalDebugging(false);
  internal.Warn("warned");
  EXPECT_EQ(capture.Text(), "DEBUG - shown\nWARN - warned\n");
}

// Records what an event carries besides its text.
class EventLayout : public TLogLayout {
 public:
  std::string Format(const TLogEvent& event) const override {
    std::string error = event.error ? ExceptionClassName(*event.error) : "-";
    bool sameThread = event.threadId == std::this_thread::get_id();
    bool recent = std::chrono::system_clock::now() - event.time < std::chrono::minutes(1);
    return event.category->Name() + "|" + event.priority->Name() + "|" + error + "|" +
           (sameThread && recent ? "ok" : "bad");
  }
};

SLV2_DECLARE_EXCEPTION(ETestFailure, Exception);

TEST(LogCategory, EventsCarryTheirCategoryErrorObjectThreadAndTime) {
  std::vector<std::string> lines;
  class Recorder : public TLogAppender {
   public:
    explicit Recorder(std::vector<std::string>* out)
        : TLogAppender(std::make_unique<EventLayout>()), out_(out) {}

   protected:
    void Write(const std::string& text) override { out_->push_back(text); }

   private:
    std::vector<std::string>* out_;
  };
  TLogCategory& category = Category("events");
  Attached attached(category, std::make_shared<Recorder>(&lines));
  ETestFailure failure("broken");
  category.Error("with error", &failure);
  category.Fatal("without");
  EXPECT_EQ(lines, (std::vector<std::string>{"events|ERROR|ETestFailure|ok", "events|FATAL|-|ok"}));
}

}  // namespace
}  // namespace slv2
