// The appender of the component's internal log: each formatted event goes to
// the debugger output (see DebugOutput.h).
#pragma once

#include "log/LogAppender.h"

namespace slv2 {

class TLogODSAppender : public TLogAppender {
 public:
  using TLogAppender::TLogAppender;

 protected:
  void Write(const std::string& text) override;
};

}  // namespace slv2
