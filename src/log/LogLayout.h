// Layouts turn an event into the text an appender writes.
#pragma once

#include <string>

#include "log/LogEvent.h"

namespace slv2 {

class TLogLayout {
 public:
  virtual ~TLogLayout() = default;
  virtual std::string Format(const TLogEvent& event) const = 0;
};

// "<PRIORITY> - <message>\r\n": the default layout of every appender; the
// message's control characters but a tab become \xNN, so that an event is
// always one line.
class TLogSimpleLayout : public TLogLayout {
 public:
  std::string Format(const TLogEvent& event) const override;
};

}  // namespace slv2
