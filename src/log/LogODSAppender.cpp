#include "log/LogODSAppender.h"

#include "log/DebugOutput.h"

namespace slv2 {

void TLogODSAppender::Write(const std::string& text) {
  WriteDebugOutput(text);
}

}  // namespace slv2
