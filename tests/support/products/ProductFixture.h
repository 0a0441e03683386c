// The setting of the product updater tests: the family in a fresh registry
// with the shell folder and the subject's product folder in a temporary
// directory, and the dry run's effects, so that a step's decisions are read
// from what it recorded while the machine stays as it was.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UpdaterTestSupport.h"
#include "updater/Slv2Updater.h"

namespace slv2::test {

// The updater's changes from now on are recorded, none made.
inline void RecordOnly(TSlv2Updater& updater) {
  updater.UseEffects(MakeRecordingEffects(updater.Logger(), MakeOverlay()));
}

// What the updater recorded: "<kind> <target>[: <detail>][ - fails: <why>]".
inline std::vector<std::string> Recorded(const TSlv2Updater& updater) {
  std::vector<std::string> lines;
  for (const TSlv2Outcome& outcome : updater.Outcomes()) {
    std::string line = std::string(OutcomeKindName(outcome.kind)) + " " + outcome.target;
    if (!outcome.detail.empty()) line += ": " + outcome.detail;
    if (!outcome.failure.empty()) line += " - fails: " + outcome.failure;
    lines.push_back(line);
  }
  return lines;
}

// The lines joined, one a line.
inline std::string Text(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines)
    text += (text.empty() ? "" : "\n") + line;
  return text;
}

class ProductFixture : public ::testing::Test {
 protected:
  explicit ProductFixture(const std::string& productId)
      : shell(dir / "Solvane"), product(Join(shell, "") + productId) {
    InstallShell(FamilyLayout::Machine21, shell);
    InstallProduct(FamilyLayout::Machine21, productId, productId);
  }

  TempRegistry registry;
  TempDir dir;
  std::string shell, product;
  ScopedTempFolder temp{dir / "tmp"};
};

}  // namespace slv2::test
