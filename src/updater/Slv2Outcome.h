// What one step of a product's run did to the machine or, in a dry run,
// would do: the records a run collects per product for its listing and its
// report, made by the run's effects (Slv2Effects.h) after each change. A
// record with a failure is a change not made, which fails the product; in a
// dry run it is also logged as an error, so that the dry run ends with the
// exit status of the real one.
#pragma once

#include <string>
#include <vector>

namespace slv2 {

struct FileVersion;

enum class TSlv2OutcomeKind {
  NewFile,      // a file the storage brings that is not installed
  Replace,      // an installed file replaced (versions: installed, new)
  Keep,         // an installed file kept by the version rule
  Diff,         // a difference decoded against the installed file
  Merge,        // a compound-file merge into the installed file
  Delete,       // a file or folder deleted (masks expanded)
  TextReplace,  // a text replacement in a file (count: matches)
  Unpack,       // a nested storage unpacked (count: streams)
  Registry,     // a registry script imported (values: what it sets)
  Shell,        // the shell's own work: migration, program group, uninstall entry
};

struct TSlv2Outcome {
  TSlv2Outcome(TSlv2OutcomeKind kind_, std::string target_, std::string detail_ = {})
      : kind(kind_), target(std::move(target_)), detail(std::move(detail_)) {}

  TSlv2OutcomeKind kind;
  std::string target;                        // program text: the file, folder, script or key
  std::string detail;                        // program text: what is done to it, for people
  std::string installedVersion, newVersion;  // files: "1.10.0.0", empty without one
  int count = -1;                            // TextReplace, Unpack; -1 when not counted
  std::vector<std::string> values;           // Registry: the keys and values it sets
  std::string failure;                       // why it failed (would fail); empty: it works
};

// "new", "replace", "keep", "diff", "merge", "delete", "text", "unpack",
// "registry", "shell": the report's names.
const char* OutcomeKindName(TSlv2OutcomeKind kind);
// One protocol line: the kind, the target and what is known of it.
std::string OutcomeLine(const TSlv2Outcome& outcome);
// The file version "major.minor.release.build"; empty without a version block.
std::string FileVersionText(const FileVersion& version);

}  // namespace slv2
