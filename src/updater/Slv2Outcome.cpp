#include "updater/Slv2Outcome.h"

#include "sys/Format.h"
#include "sys/version/VerInfo.h"

namespace slv2 {

const char* OutcomeKindName(TSlv2OutcomeKind kind) {
  switch (kind) {
    case TSlv2OutcomeKind::NewFile:
      return "new";
    case TSlv2OutcomeKind::Replace:
      return "replace";
    case TSlv2OutcomeKind::Keep:
      return "keep";
    case TSlv2OutcomeKind::Diff:
      return "diff";
    case TSlv2OutcomeKind::Merge:
      return "merge";
    case TSlv2OutcomeKind::Delete:
      return "delete";
    case TSlv2OutcomeKind::TextReplace:
      return "text";
    case TSlv2OutcomeKind::Unpack:
      return "unpack";
    case TSlv2OutcomeKind::Registry:
      return "registry";
    case TSlv2OutcomeKind::Shell:
      return "shell";
  }
  return "?";
}

std::string OutcomeLine(const TSlv2Outcome& outcome) {
  std::string line = Format("%-8s %s", OutcomeKindName(outcome.kind), outcome.target.c_str());
  auto version = [](const std::string& v) { return v.empty() ? std::string("no version") : v; };
  if (outcome.kind == TSlv2OutcomeKind::Replace || outcome.kind == TSlv2OutcomeKind::Keep) {
    line += Format(" (installed %s, new %s)", version(outcome.installedVersion).c_str(),
                   version(outcome.newVersion).c_str());
  } else if (outcome.kind == TSlv2OutcomeKind::NewFile && !outcome.newVersion.empty()) {
    line += Format(" (%s)", outcome.newVersion.c_str());
  }
  if (outcome.count >= 0) line += Format(" (%d)", outcome.count);
  if (!outcome.detail.empty()) line += ": " + outcome.detail;
  for (const std::string& value : outcome.values)
    line += "\n      " + value;
  if (!outcome.failure.empty()) line += " - would fail: " + outcome.failure;
  return line;
}

std::string FileVersionText(const FileVersion& version) {
  if (!version.found) return {};
  uint16_t major, minor, release, build;
  GetFileVersionParts(version.info, major, minor, release, build);
  return Format("%u.%u.%u.%u", unsigned{major}, unsigned{minor}, unsigned{release},
                unsigned{build});
}

}  // namespace slv2
