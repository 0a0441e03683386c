// A named logger of the category hierarchy. An event passes when its priority
// is above the hierarchy's threshold and at least the category's effective
// priority (its own, or inherited from the nearest ancestor that has one);
// it then goes to the category's appenders and, while additivity is on, to
// those of its ancestors. A chain without any appender makes the internal
// log report that logging is not configured, once per event. Logging never
// raises for lack of configuration. Safe for several threads.
#pragma once

#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "log/LogAppender.h"
#include "log/LogPriority.h"

namespace slv2 {

class TLogErrorTally;
class TLogHierarchy;

class TLogCategory {
 public:
  explicit TLogCategory(std::string name);
  virtual ~TLogCategory() = default;
  TLogCategory(const TLogCategory&) = delete;
  TLogCategory& operator=(const TLogCategory&) = delete;

  const std::string& Name() const { return name_; }
  TLogCategory* Parent() const { return parent_; }
  TLogHierarchy* Hierarchy() const { return hierarchy_; }

  // nullptr: inherit the parent's.
  const TLogPriority* Priority() const { return priority_; }
  virtual void SetPriority(const TLogPriority* priority) { priority_ = priority; }
  const TLogPriority& EffectivePriority() const;

  // On by default: events also go to the ancestors' appenders.
  bool Additivity() const { return additivity_; }
  void SetAdditivity(bool on) { additivity_ = on; }

  // Sees every error event of this category (LogErrorTally.h); nullptr: none.
  void SetErrorTally(TLogErrorTally* tally) { errorTally_ = tally; }

  void AddAppender(std::shared_ptr<TLogAppender> appender);
  void RemoveAppender(const std::shared_ptr<TLogAppender>& appender);

  void Debug(std::string_view message, const std::exception* error = nullptr);
  void Info(std::string_view message, const std::exception* error = nullptr);
  void Warn(std::string_view message, const std::exception* error = nullptr);
  void Error(std::string_view message, const std::exception* error = nullptr);
  void Fatal(std::string_view message, const std::exception* error = nullptr);
  virtual void Log(const TLogPriority& priority, std::string_view message,
                   const std::exception* error = nullptr);

 protected:
  // Set by a hierarchy when it registers the category.
  void Attach(TLogHierarchy* hierarchy, TLogCategory* parent);

 private:
  friend class TLogHierarchy;

  void CallAppenders(const TLogEvent& event);

  std::string name_;
  TLogCategory* parent_ = nullptr;
  std::atomic<const TLogPriority*> priority_{nullptr};
  std::atomic<bool> additivity_{true};
  std::vector<std::shared_ptr<TLogAppender>> appenders_;
  TLogHierarchy* hierarchy_ = nullptr;
  std::atomic<TLogErrorTally*> errorTally_{nullptr};
  std::mutex lock_;  // guards appenders_
};

// The root category, named "root", created at ERROR. It always has a
// priority: setting none reports "The root can't have a nil priority" on the
// internal log and sets DEBUG instead.
class TLogRoot : public TLogCategory {
 public:
  TLogRoot();
  void SetPriority(const TLogPriority* priority) override;
};

}  // namespace slv2
