// What a product updater's steps decided, read from what the dry run's
// effects recorded while the machine stays as it was.
#pragma once

#include <string>
#include <vector>

#include "UpdaterTestSupport.h"
#include "updater/Slv2Updater.h"

namespace slv2::test {

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

}  // namespace slv2::test
