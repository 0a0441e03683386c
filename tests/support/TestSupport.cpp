#include "TestSupport.h"

#include <gtest/gtest.h>

#include "sys/Cp1251.h"
#include "sys/ShFolder.h"
#include "sys/StrUtil.h"
#include "sys/registry/RegFunctions.h"

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

ScopedEnv::ScopedEnv(const char* name, const std::string& value)
    : name_(name), hadPrevious_(GetEnv(name, previous_)) {
  SetEnv(name, &value);
}

ScopedEnv::~ScopedEnv() {
  SetEnv(name_, hadPrevious_ ? &previous_ : nullptr);
}

void InstallCommonGroup(const std::string& shellKey) {
  std::string programs = GetSpecialFolderPath(kCsidlCommonPrograms | kCsidlFlagCreate);
  RegWriteString(reg::kHkeyLocalMachine, shellKey, "group", JoinPath(programs, "Zarvik Solvane"));
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
