// Damaged and hostile compound files extracted by "slv2pack extract" (plain
// and --raw), run as the publisher runs it: it ends with a reason or extracts
// inside its folder, and nothing else changes.
#include <gtest/gtest.h>

#include <stdexcept>

#include "HostileCorpus.h"
#include "TestSupport.h"

namespace slv2::test::hostile {
namespace {

// The files that reach past the header: structure, names and depth.
bool Structural(const std::string& name) {
  return !name.starts_with("truncated-") && !name.starts_with("flip-");
}

TEST(StorageCommandsHostileTest, ExtractionEndsWithAReasonAndStaysInItsFolder) {
  Tally tally("cfb via slv2pack extract");
  for (const CorpusFile& file : Corpus("cfb")) {
    if (!Structural(file.name)) continue;
    // Names are what --raw handles on its own; the plain extraction goes
    // through the storage library.
    for (bool raw : {false, true}) {
      if (raw && file.name.find("names") == std::string::npos) continue;
      TempDir dir;
      std::string io = dir / "io", out = dir / "cwd/out";
      WriteFile(dir / "cwd/here.txt", "current folder");
      WriteFile(dir / "outside/victim.txt", "outside file");
      WriteFile(io + "/.keep", "");
      Snapshot before = TakeSnapshot(dir.Path(), {io, out});
      std::vector<std::string> foreign = ForeignPlacesPresent();
      Verdict verdict;
      bool finished = RunHostile(
          file, dir / "cwd",
          [&] {
            std::vector<std::string> args = {"extract", file.path, out};
            if (raw) args.push_back("--raw");
            int status = RunProgram("slv2pack", args, io + "/out.txt", io + "/err.txt");
            std::string errors = FromTerminalText(ReadFile(io + "/err.txt"));
            if (status < 0 || errors.find("Sanitizer") != std::string::npos ||
                errors.find("runtime error") != std::string::npos) {
              throw std::runtime_error("slv2pack ended abnormally: " + errors);
            }
            Verdict v;
            v.rejected = status != 0;
            v.message = errors.substr(0, errors.find('\n'));
            v.details = errors;
            return v;
          },
          &verdict);
      if (!finished) continue;
      CorpusFile run = file;
      run.name += raw ? " (--raw)" : "";
      // Extraction has no product folder to keep names inside of but its
      // own: only names that climb out or cannot be files must be refused.
      if (run.expect == Expect::kRejected && file.name.find("names") == std::string::npos &&
          file.name.find("utf16") == std::string::npos) {
        run.expect = Expect::kEither;
      }
      ExpectVerdict(run, verdict);
      tally.Add(run, verdict);
      EXPECT_EQ(SnapshotDifference(before, TakeSnapshot(dir.Path(), {io, out})), "") << run.name;
      EXPECT_EQ(ForeignPlacesPresent(), foreign) << run.name;
    }
  }
}

}  // namespace
}  // namespace slv2::test::hostile
