// slv2pack diff / apply: make a binary difference between two versions of a
// file, and rebuild the new version from the old one and a difference.
#include <cinttypes>
#include <cstdio>

#include "Command.h"
#include "StdOut.h"
#include "patch/DiffDecoder.h"
#include "patch/DiffMaker.h"
#include "patch/PendingFile.h"
#include "publish/RemoveOnInterrupt.h"
#include "storage/WinFileStream.h"
#include "sys/Cp1251.h"

namespace slv2::pack {
namespace {

int Diff(const std::vector<std::string>& args) {
  if (args.size() != 3) return UsageError("diff");
  TDiffFileResult result = CreateDiffFile(args[0], args[1], args[2]);
  std::printf("%s: %" PRId64 " bytes for %" PRId64 " new bytes\n", ToTerminal(args[2]).c_str(),
              result.diffSize, result.newSize);
  return 0;
}

// The output appears only when the whole difference decoded and verified, so
// OUT may even name OLD. A new OUT is not forced onto the disk, as cp or
// xdelta3 do not force theirs; an existing one is replaced durably. An
// interruption removes the unfinished output as well.
int Apply(const std::vector<std::string>& args) {
  if (args.size() != 3) return UsageError("apply");
  TPendingFile pending(args[2]);
  publish::TRemoveOnInterrupt unfinished(pending.Path());
  {
    TWinFileStream source(args[0], fs::kGenericRead, fs::kShareRead, fs::kOpenExisting);
    TWinFileStream diff(args[1], fs::kGenericRead, fs::kShareRead, fs::kOpenExisting);
    TWinFileStream target(pending.Path(), fs::kGenericWrite, 0, fs::kCreateAlways);
    ApplyDiffStream(diff, source, target);
  }
  pending.CommitQuickly();
  return 0;
}

}  // namespace
}  // namespace slv2::pack

SLV2PACK_COMMAND(diff, "diff", "OLD NEW OUT.diff", slv2::pack::Diff)
SLV2PACK_COMMAND(apply, "apply", "OLD DIFF OUT", slv2::pack::Apply)
