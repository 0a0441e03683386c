// Damaged and hostile registry scripts of both formats imported by the
// regedit program, as the updater and administrators run it; every script
// that went in must export again.
#include <gtest/gtest.h>

#include <stdexcept>

#include "HostileCorpus.h"
#include "TestSupport.h"

namespace slv2::test::hostile {
namespace {

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find_first_of("\r\n"));
}

// Runs regedit; a crash or a sanitizer report ends the isolated run as a crash.
int Regedit(const std::vector<std::string>& args, const std::string& io, std::string* errors) {
  int status = RunProgram("regedit", args, io + "/out.txt", io + "/err.txt");
  *errors = FromTerminalText(ReadFile(io + "/err.txt"));
  if (status < 0 || errors->find("Sanitizer") != std::string::npos ||
      errors->find("runtime error") != std::string::npos) {
    throw std::runtime_error("regedit ended abnormally: " + *errors);
  }
  return status;
}

TEST(RegScriptHostileTest, DamagedScriptsAreRefusedAndWhatWentInExports) {
#ifdef _WIN32
  GTEST_SKIP() << "regedit would import into the machine's own registry";
#endif
  Tally tally("reg");
  for (const CorpusFile& file : Corpus("reg")) {
    TempRegistry registry;
    TempDir dir;
    std::string io = dir / "io", cwd = dir / "cwd";
    WriteFile(cwd + "/here.txt", "current folder");
    WriteFile(io + "/.keep", "");
    Snapshot before = TakeSnapshot(dir.Path(), {io});
    std::vector<std::string> foreign = ForeignPlacesPresent();
    Verdict verdict;
    bool finished = RunHostile(
        file, cwd,
        [&] {
          Verdict v;
          std::string errors;
          v.rejected = Regedit({"/s", file.path}, io, &errors) != 0;
          v.message = FirstLine(errors);
          v.details = errors;
          if (!v.rejected) {
            std::string exportErrors;
            int status = Regedit({"/e", io + "/export.reg", "HKEY_CURRENT_USER\\Software\\Hostile"},
                                 io, &exportErrors);
            if (status != 0 && !exportErrors.starts_with("regedit: ")) {
              throw std::runtime_error("export failed without a reason: " + exportErrors);
            }
          }
          return v;
        },
        &verdict);
    if (!finished) continue;
    ExpectVerdict(file, verdict);
    tally.Add(file, verdict);
    if (verdict.rejected) {
      EXPECT_TRUE(verdict.message.starts_with("regedit: ")) << file.name << ": " << verdict.details;
    }
    EXPECT_EQ(SnapshotDifference(before, TakeSnapshot(dir.Path(), {io})), "") << file.name;
    EXPECT_EQ(ForeignPlacesPresent(), foreign) << file.name;
  }
}

}  // namespace
}  // namespace slv2::test::hostile
