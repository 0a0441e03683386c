// The registry of categories, found by name: "a.b.c" hangs below "a.b",
// which hangs below "a", which hangs below the root. A threshold disables
// every level at or below it, in every category (initially -1: nothing).
// One default hierarchy serves the whole program; its categories live until
// it ends, and callers never own them. Safe for several threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "log/LogCategory.h"

namespace slv2 {

class TLogCategoryFactory {
 public:
  virtual ~TLogCategoryFactory() = default;
  virtual std::unique_ptr<TLogCategory> MakeNewCategoryInstance(const std::string& name) = 0;
};

// Makes a plain TLogCategory.
class TLogDefaultCategoryFactory : public TLogCategoryFactory {
 public:
  std::unique_ptr<TLogCategory> MakeNewCategoryInstance(const std::string& name) override;
};

class TLogHierarchy {
 public:
  TLogHierarchy();
  TLogHierarchy(const TLogHierarchy&) = delete;
  TLogHierarchy& operator=(const TLogHierarchy&) = delete;

  // The program's hierarchy, with its root at ERROR and nothing attached.
  static TLogHierarchy& Default();

  // The category of that name, created, registered and linked to its parent
  // on first request (by the factory, default: a plain category); the same
  // object afterwards. Names are case-sensitive.
  TLogCategory& GetCategory(const std::string& name);
  TLogCategory& GetCategory(const std::string& name, TLogCategoryFactory& factory);
  TLogRoot& Root() { return *root_; }

  int32_t Threshold() const { return threshold_; }
  void SetThreshold(int32_t threshold) { threshold_ = threshold; }
  bool IsDisabled(int32_t level) const { return level <= threshold_; }

 private:
  std::recursive_mutex lock_;  // a parent lookup re-enters it
  std::map<std::string, std::unique_ptr<TLogCategory>> categories_;
  std::unique_ptr<TLogRoot> root_;
  std::atomic<int32_t> threshold_{-1};
  TLogDefaultCategoryFactory defaultFactory_;
};

}  // namespace slv2
