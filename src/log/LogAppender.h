// An output destination of the logging component. Subclasses say where the
// text goes (Write); the base formats each event with the layout and hands
// the appender one event at a time, whatever thread logs it. Tests implement
// Write to capture the lines a category receives.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "log/LogEvent.h"
#include "log/LogLayout.h"

namespace slv2 {

class TLogAppender {
 public:
  // Without a layout the appender uses a TLogSimpleLayout.
  explicit TLogAppender(std::unique_ptr<TLogLayout> layout = nullptr);
  virtual ~TLogAppender() = default;
  TLogAppender(const TLogAppender&) = delete;
  TLogAppender& operator=(const TLogAppender&) = delete;

  void Append(const TLogEvent& event);

 protected:
  // Writes one formatted event; called under the appender's lock.
  virtual void Write(const std::string& text) = 0;

 private:
  std::unique_ptr<TLogLayout> layout_;
  std::mutex lock_;
};

}  // namespace slv2
