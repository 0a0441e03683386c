#include "log/LogLayout.h"

namespace slv2 {

std::string TLogSimpleLayout::Format(const TLogEvent& event) const {
  return std::string(event.priority->Name()) + " - " + event.message + "\r\n";
}

}  // namespace slv2
