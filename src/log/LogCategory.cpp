#include "log/LogCategory.h"

#include <algorithm>

#include "log/LogErrorTally.h"
#include "log/LogHierarchy.h"
#include "log/LogLog.h"
#include "sys/Format.h"

namespace slv2 {

TLogCategory::TLogCategory(std::string name) : name_(std::move(name)) {}

void TLogCategory::Attach(TLogHierarchy* hierarchy, TLogCategory* parent) {
  hierarchy_ = hierarchy;
  parent_ = parent;
}

const TLogPriority& TLogCategory::EffectivePriority() const {
  for (const TLogCategory* c = this; c; c = c->parent_) {
    if (const TLogPriority* p = c->priority_) return *p;
  }
  // Only a category outside any hierarchy can get here.
  return TLogPriority::Debug();
}

void TLogCategory::AddAppender(std::shared_ptr<TLogAppender> appender) {
  std::lock_guard<std::mutex> guard(lock_);
  appenders_.push_back(std::move(appender));
}

void TLogCategory::RemoveAppender(const std::shared_ptr<TLogAppender>& appender) {
  std::lock_guard<std::mutex> guard(lock_);
  appenders_.erase(std::remove(appenders_.begin(), appenders_.end(), appender), appenders_.end());
}

void TLogCategory::Debug(std::string_view message, const std::exception* error) {
  Log(TLogPriority::Debug(), message, error);
}

void TLogCategory::Info(std::string_view message, const std::exception* error) {
  Log(TLogPriority::Info(), message, error);
}

void TLogCategory::Warn(std::string_view message, const std::exception* error) {
  Log(TLogPriority::Warn(), message, error);
}

void TLogCategory::Error(std::string_view message, const std::exception* error) {
  Log(TLogPriority::Error(), message, error);
}

void TLogCategory::Fatal(std::string_view message, const std::exception* error) {
  Log(TLogPriority::Fatal(), message, error);
}

void TLogCategory::Log(const TLogPriority& priority, std::string_view message,
                       const std::exception* error) {
  if (priority.IsGreaterOrEqual(TLogPriority::Error())) {
    if (TLogErrorTally* tally = errorTally_) tally->Note(message);
  }
  if (hierarchy_ && hierarchy_->IsDisabled(priority.Level())) return;
  if (!priority.IsGreaterOrEqual(EffectivePriority())) return;
  TLogEvent event;
  event.category = this;
  event.error = error;
  event.message = std::string(message);
  event.priority = &priority;
  event.time = std::chrono::system_clock::now();
  event.threadId = std::this_thread::get_id();
  CallAppenders(event);
}

void TLogCategory::CallAppenders(const TLogEvent& event) {
  // The appenders are taken under each category's lock and called outside
  // it, so that an appender may log itself without deadlocking.
  std::vector<std::shared_ptr<TLogAppender>> chain;
  for (TLogCategory* c = this; c; c = c->additivity_ ? c->parent_ : nullptr) {
    std::lock_guard<std::mutex> guard(c->lock_);
    chain.insert(chain.end(), c->appenders_.begin(), c->appenders_.end());
  }
  if (chain.empty()) {
    TLogLog& internal = TLogLog::Instance();
    internal.Error(Format("No appenders could be found for category \"%s\"", name_.c_str()));
    internal.Error("Please initialize the logging system properly");
    return;
  }
  for (const auto& appender : chain)
    appender->Append(event);
}

TLogRoot::TLogRoot() : TLogCategory("root") {
  TLogCategory::SetPriority(&TLogPriority::Error());
}

void TLogRoot::SetPriority(const TLogPriority* priority) {
  if (!priority) {
    TLogLog::Instance().Error("The root can't have a nil priority");
    priority = &TLogPriority::Debug();
  }
  TLogCategory::SetPriority(priority);
}

}  // namespace slv2
