#include "log/LogAppender.h"

namespace slv2 {

TLogAppender::TLogAppender(std::unique_ptr<TLogLayout> layout)
    : layout_(layout ? std::move(layout) : std::make_unique<TLogSimpleLayout>()) {}

void TLogAppender::Append(const TLogEvent& event) {
  std::string text = layout_->Format(event);
  std::lock_guard<std::mutex> guard(lock_);
  Write(text);
}

}  // namespace slv2
