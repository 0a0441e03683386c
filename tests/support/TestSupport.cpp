#include "TestSupport.h"

#include <gtest/gtest.h>

#include "sys/Cp1251.h"

namespace slv2::test {
std::string A(std::string_view utf8) {
  return Utf8ToAnsi(utf8);
}

std::string Doubled(std::string_view text) {
  std::string doubled;
  for (char c : text)
    doubled += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return doubled;
}

std::string BinDir() {
  return SLV2_BIN_DIR;
}

std::string TestDataPath(std::string_view relative) {
  return std::string(SLV2_SOURCE_DIR) + "/tests/data/" + std::string(relative);
}

std::vector<std::string> SplitLines(const std::string& out) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(out.substr(start, end - start));
  return lines;
}

}  // namespace slv2::test
