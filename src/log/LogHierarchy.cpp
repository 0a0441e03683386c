#include "log/LogHierarchy.h"

namespace slv2 {

std::unique_ptr<TLogCategory> TLogDefaultCategoryFactory::MakeNewCategoryInstance(
    const std::string& name) {
  return std::make_unique<TLogCategory>(name);
}

TLogHierarchy::TLogHierarchy() : root_(std::make_unique<TLogRoot>()) {
  root_->Attach(this, nullptr);
}

TLogHierarchy& TLogHierarchy::Default() {
  static TLogHierarchy hierarchy;
  return hierarchy;
}

TLogCategory& TLogHierarchy::GetCategory(const std::string& name) {
  return GetCategory(name, defaultFactory_);
}

TLogCategory& TLogHierarchy::GetCategory(const std::string& name, TLogCategoryFactory& factory) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  auto found = categories_.find(name);
  if (found != categories_.end()) return *found->second;
  TLogCategory& category =
      *categories_.emplace(name, factory.MakeNewCategoryInstance(name)).first->second;
  size_t dot = name.rfind('.');
  TLogCategory* parent =
      dot == std::string::npos ? root_.get() : &GetCategory(name.substr(0, dot), factory);
  category.Attach(this, parent);
  return category;
}

}  // namespace slv2
