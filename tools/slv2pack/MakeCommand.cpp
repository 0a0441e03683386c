// slv2pack make OLD_DIR NEW_DIR OUT.stg [--extra DIR] [--compress]
// [--no-verify] [--allow-kept] [--follow-links] [--strict]: the update
// storage that turns an installed OLD release into NEW, built as `slv2pack
// build` builds a folder, proven by verify before it takes OUT's place.
// Everything that would stop it is found before any work.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <set>

#include "Command.h"
#include "PublishCommands.h"
#include "StdOut.h"
#include "patch/PendingFile.h"
#include "publish/PlanCheck.h"
#include "publish/RemoveOnInterrupt.h"
#include "publish/ScratchFolder.h"
#include "publish/UpdateStage.h"
#include "publish/UpdateSummary.h"
#include "storage/FileUtil.h"
#include "sys/Cp1251.h"
#include "sys/Exception.h"
#include "sys/FileLayer.h"
#include "updater/Slv2Paths.h"

namespace slv2::pack {
namespace {

using namespace publish;

void BuildStorage(const std::string& folder, const std::string& output, bool compress) {
  for (const Command& command : Commands()) {
    if (std::strcmp(command.name, "build") != 0) continue;
    std::vector<std::string> args = {folder, output};
    if (compress) args.push_back("--compress");
    if (command.run(args) != 0) throw Exception("The storage could not be built");
    return;
  }
  throw Exception("No build command");
}

void PrintRow(const char* label, const TSummaryRow& row, const char* tail = "") {
  std::printf("%-16s%6zu %s %12" PRIu64 " bytes%s\n", label, row.files,
              row.files == 1 ? "file " : "files", row.bytes, tail);
}

void PrintSummary(const TUpdateSummary& s) {
  PrintRow("new:", s.added);
  PrintRow("replaced whole:", s.whole);
  std::string of = " for " + std::to_string(s.differencesOf) + " bytes of NEW";
  PrintRow("as differences:", s.differences, s.differences.files ? of.c_str() : "");
  if (s.kept.files) PrintRow("kept:", s.kept, " (whole; the installed file is newer)");
  std::string entries = " of OLD (" + std::to_string(s.deleteEntries) +
                        (s.deleteEntries == 1 ? " entry" : " entries") + " in Delete_After.ini)";
  PrintRow("deleted:", s.deleted, entries.c_str());
  PrintRow("left out:", s.leftOut, " (the same in OLD)");
  std::printf("storage: %" PRIu64 " bytes; NEW: %" PRIu64 " bytes in %zu files\n", s.storageBytes,
              s.release.bytes, s.release.files);
}

// The checks that need no work: OUT's place and the extra folder.
void CheckPlaces(const TArguments& parsed) {
  std::string output = fs::GetFullPathName(parsed.positional[2]);
  for (int i : {0, 1}) {
    if (PathWithin(fs::GetFullPathName(parsed.positional[i]), output, false)) {
      throw Exception("OUT " + parsed.positional[2] + " lies inside " + (i ? "NEW " : "OLD ") +
                      parsed.positional[i] + ": write it elsewhere");
    }
  }
  if (parsed.Has("--extra") && !TgmFileUtil::DirectoryExists(parsed.Value("--extra"))) {
    throw Exception("--extra " + parsed.Value("--extra") + ": no such folder");
  }
}

// Every offender, on the standard error; then the make ends.
void RefuseProblems(const std::vector<std::string>& problems) {
  if (problems.empty()) return;
  for (const std::string& problem : problems)
    std::fprintf(stderr, "%s\n", ToTerminal(problem).c_str());
  throw Exception(std::to_string(problems.size()) +
                  (problems.size() == 1 ? " problem" : " problems") +
                  " in the releases; nothing made");
}

int Make(const std::vector<std::string>& args) {
  TArguments parsed;
  if (!ParsePublishArguments(
          args,
          {"--extra=", "--compress", "--no-verify", "--allow-kept", "--follow-links", "--strict"},
          3, &parsed)) {
    return ArgumentError("make", parsed);
  }
  const std::string &oldDir = parsed.positional[0], &newDir = parsed.positional[1],
                    &output = parsed.positional[2];
  bool followLinks = parsed.Has("--follow-links");
  CheckPlaces(parsed);
  TTreeReading oldReading, newReading;
  oldReading.followLinks = newReading.followLinks = followLinks;
  TRelease oldRelease = ReadRelease(oldDir, oldReading),
           newRelease = ReadRelease(newDir, newReading);
  std::vector<std::string> problems = oldReading.problems;
  problems.insert(problems.end(), newReading.problems.begin(), newReading.problems.end());
  std::vector<TFilePlan> plan = PlanUpdate(oldRelease, newRelease);
  TPlanCheck check = CheckPlan(plan);
  problems.insert(problems.end(), check.problems.begin(), check.problems.end());
  RefuseProblems(problems);
  for (const std::string& warning : check.warnings)
    std::fprintf(stderr, "slv2pack: warning: %s\n", warning.c_str());
  if (!check.warnings.empty() && parsed.Has("--strict")) {
    throw Exception("--strict: nothing made after the warnings");
  }
  if (check.nothingToUpdate && !parsed.Has("--extra")) {
    std::printf("make: nothing to update: OLD and NEW hold the same files; %s not written\n",
                ToTerminal(output).c_str());
    return 3;
  }

  // Files the updater would leave as they are: the update would silently
  // not reach them.
  std::set<std::string> kept;
  for (const TFilePlan& file : plan) {
    if (file.change != TFileChange::kKept) continue;
    kept.insert(FileKey(PartPath(file)));
    std::fprintf(parsed.Has("--allow-kept") ? stdout : stderr,
                 "%s: %s: the updater would keep the installed file\n",
                 ToTerminal(PartPath(file)).c_str(), ToTerminal(file.reason).c_str());
  }
  if (!kept.empty() && !parsed.Has("--allow-kept")) {
    throw Exception(std::to_string(kept.size()) +
                    " files would not be updated; --allow-kept makes the storage all the same");
  }

  TPendingFile pending(output);
  TRemoveOnInterrupt unfinished(pending.Path());
  TStage stage;
  {
    TScratchFolder folder;
    stage = StageUpdate(plan, newRelease, folder.Path(),
                        {parsed.Value("--extra"), parsed.Has("--compress")});
    BuildStorage(folder.Path(), pending.Path(), parsed.Has("--compress"));
  }
  PrintSummary(SummarizeUpdate(plan, stage, pending.Path()));
  for (const TMappedName& mapped : stage.mapped) {
    std::printf(
        "%s: travels as %s through the name map: a name on its path (with .diff for a difference) "
        "is longer than 31 characters\n",
        ToTerminal(PartPath(*mapped.file)).c_str(), mapped.shortName.c_str());
  }
  if (!parsed.Has("--no-verify")) {
    std::string product = DefaultProductId(output);
    std::fflush(stdout);
    int status = ReportVerification(
        VerifyUpdate(oldDir, newDir, pending.Path(), {product, kept, followLinks}), product);
    if (status != 0) {
      std::printf("make: %s not written\n", ToTerminal(output).c_str());
      return status;
    }
  }
  pending.Commit();
  return 0;
}

}  // namespace
}  // namespace slv2::pack

SLV2PACK_COMMAND(make, "make",
                 "OLD_DIR NEW_DIR OUT.stg [--extra DIR] [--compress] [--no-verify] [--allow-kept] "
                 "[--follow-links] [--strict]",
                 slv2::pack::Make)
