#include "app/log/LogODSAppender.h"

#include "app/log/DebugOutput.h"

namespace slv2 {

void TLogODSAppender::Write(const std::string& text) {
  WriteDebugOutput(text);
}

}  // namespace slv2
