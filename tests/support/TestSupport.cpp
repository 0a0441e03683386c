#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

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

// The environment holds the system's text, as the terminal does.
bool GetEnv(const char* name, std::string& value) {
  const char* found = std::getenv(name);
  if (found) value = FromTerminalText(found);
  return found != nullptr;
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

std::string TempDir::operator/(std::string_view relative) const {
  return Join(path_, relative);
}

int RunProgram(const std::string& name, const std::vector<std::string>& args,
               const std::string& outFile, const std::string& errFile, const std::string& folder) {
  int pid = StartProgram(name, args, outFile, errFile, std::string(), folder);
  return pid < 0 ? -1 : WaitProgram(pid);
}

std::string BinDir() {
  return SLV2_BIN_DIR;
}

std::string TestDataPath(std::string_view relative) {
  return std::string(SLV2_SOURCE_DIR) + "/tests/data/" + std::string(relative);
}

std::vector<std::string> ListTree(const std::string& folder) {
  std::vector<std::string> names;
  const std::filesystem::path base = FsPath(folder);
  std::error_code error;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(base, error)) {
    std::string name = ProgramPath(entry.path().lexically_relative(base));
    names.push_back(entry.is_directory() && !entry.is_symlink() ? name + "/" : name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

Tree TreeSnapshot(const std::string& folder) {
  Tree tree;
  const std::filesystem::path base = FsPath(folder);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(base)) {
    if (entry.is_regular_file() && !entry.is_symlink())
      tree[ProgramPath(entry.path().lexically_relative(base))] =
          ReadFile(ProgramPath(entry.path()));
  }
  return tree;
}

std::string TreeDifferences(const Tree& a, const Tree& b) {
  std::string paths;
  for (const auto& [path, content] : a) {
    auto it = b.find(path);
    if (it == b.end() || it->second != content) paths += path + " ";
  }
  for (const auto& [path, content] : b)
    if (!a.count(path)) paths += path + " ";
  return paths;
}

std::vector<std::string> SplitLines(const std::string& out) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(out.substr(start, end - start));
  return lines;
}

}  // namespace slv2::test
