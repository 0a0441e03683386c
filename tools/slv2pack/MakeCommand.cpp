// slv2pack make OLD_DIR NEW_DIR OUT.stg [--extra DIR] [--compress]
// [--no-verify] [--allow-kept]: the update storage that turns an installed
// OLD release into NEW, built as `slv2pack build` builds a folder, proven by
// verify before it takes OUT's place.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <set>

#include "Command.h"
#include "PublishCommands.h"
#include "StdOut.h"
#include "patch/PendingFile.h"
#include "publish/ScratchFolder.h"
#include "publish/UpdateStage.h"
#include "publish/UpdateSummary.h"
#include "sys/Cp1251.h"
#include "sys/Exception.h"

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

int Make(const std::vector<std::string>& args) {
  TArguments parsed;
  if (!ParsePublishArguments(args, {"--extra=", "--compress", "--no-verify", "--allow-kept"}, 3,
                             &parsed)) {
    return UsageError("make");
  }
  const std::string &oldDir = parsed.positional[0], &newDir = parsed.positional[1],
                    &output = parsed.positional[2];
  TRelease oldRelease = ReadRelease(oldDir), newRelease = ReadRelease(newDir);
  std::vector<TFilePlan> plan = PlanUpdate(oldRelease, newRelease);

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
    int status =
        ReportVerification(VerifyUpdate(oldDir, newDir, pending.Path(), {product, kept}), product);
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
                 "OLD_DIR NEW_DIR OUT.stg [--extra DIR] [--compress] [--no-verify] [--allow-kept]",
                 slv2::pack::Make)
