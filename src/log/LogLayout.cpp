#include "log/LogLayout.h"

namespace slv2 {
namespace {

// Messages carry file names and text from storages, which anyone who may
// write a product folder chooses: a line feed in one would start a line of
// the reader's choosing. Control characters other than a tab are written as
// \xNN, so that every event stays one line.
std::string Escaped(const std::string& message) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(message.size());
  for (char c : message) {
    auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string TLogSimpleLayout::Format(const TLogEvent& event) const {
  return std::string(event.priority->Name()) + " - " + Escaped(event.message) + "\r\n";
}

}  // namespace slv2
