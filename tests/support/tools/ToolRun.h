// The companion programs of the build (slv2pack, regedit) run in a test's
// folder as the publisher and the administrator run them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace slv2::test {

struct ToolRun {
  int status;
  std::string out, err;  // as written on the terminal

  // Both outputs, or the lines of the standard output, as program text.
  std::string Text() const { return FromTerminalText(out + err); }
  std::vector<std::string> OutLines() const { return SplitLines(FromTerminalText(out)); }
  bool Printed(const std::string& line) const {
    std::vector<std::string> lines = OutLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

// A test's folder, where it runs the program, its outputs going to files
// there.
class ToolTest : public ::testing::Test {
 public:
  ToolRun Run(const std::vector<std::string>& args, const std::string& program = "slv2pack") {
    int status = RunProgram(program, args, dir / "stdout", dir / "stderr", dir.Path());
    return {status, ReadFile(dir / "stdout"), ReadFile(dir / "stderr")};
  }

  TempDir dir;
};

}  // namespace slv2::test
