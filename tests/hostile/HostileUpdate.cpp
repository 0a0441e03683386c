#include "HostileUpdate.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "sys/Exception.h"
#include "sys/Format.h"
#include "sys/TempNames.h"
#include "updater/Slv2Updater.h"

namespace slv2::test::hostile {

namespace {

class THostileUpdater : public TSlv2Updater {
 public:
  static const TSlv2UpdaterClass& Class() {
    static const TSlv2UpdaterClass type("THostileUpdater", "testprod", "Test product", "", false,
                                        MakeUpdater<THostileUpdater>);
    return type;
  }
  explicit THostileUpdater(const TSlv2UpdaterClass& type) : TSlv2Updater(type) {}
};

Verdict RunUpdater(const std::string& storageFile) {
  LogCapture log("THostileUpdater");
  Verdict verdict;
  try {
    std::unique_ptr<TSlv2Updater> updater = THostileUpdater::Class().Create();
    updater->SetStorageFileName(storageFile);
    updater->Execute();
  } catch (const std::exception& e) {
    verdict.rejected = true;
    verdict.message = Format("%s: %s", ExceptionClassName(e), ExceptionMessage(e).c_str());
  }
  for (const std::string& line : log.Lines()) {
    if (!verdict.rejected && (line.starts_with("ERROR ") || line.starts_with("FATAL "))) {
      verdict.rejected = true;
      verdict.message = line;
    }
  }
  verdict.details = verdict.message + "\n" + log.Text();
  return verdict;
}

}  // namespace

UpdateSetting::UpdateSetting() {
  Reset();
  // The family goes into the registry in a child of its own, so that no
  // database connection of the test process crosses into the runs.
  CorpusFile setup{"(installing the family)", {}, {}, Expect::kHandled};
  Verdict verdict;
  RunHostile(
      setup, cwd,
      [this] {
        InstallShell(FamilyLayout::Machine21, shell);
        InstallProduct(FamilyLayout::Machine21, "testprod", "testprod");
        return Verdict();
      },
      &verdict);
}

void UpdateSetting::Reset() {
  std::filesystem::remove_all(FsPath(dir_.Path()));
  std::filesystem::create_directories(FsPath(temp));
  WriteFile(product + "/keep.txt", "product file");
  WriteFile(product + "/old.txt", "old product file");
  WriteFile(shell + "/shell.txt", "shell file");
  WriteFile(outside + "/victim.txt", "outside file");
  WriteFile(outside + "/victim.stg", "outside storage");
  WriteFile(cwd + "/here.txt", "current folder");
}

bool UpdateSetting::Run(const CorpusFile& file, Verdict* verdict) {
  std::vector<std::string> excluded = {shell, temp};
  Snapshot before = TakeSnapshot(dir_.Path(), excluded);
  std::vector<std::string> foreign = ForeignPlacesPresent();
  if (!RunHostile(
          file, cwd, [&] { return RunUpdater(storageFile); }, verdict)) {
    return false;
  }
  EXPECT_EQ(SnapshotDifference(before, TakeSnapshot(dir_.Path(), excluded)), "")
      << file.name << " changed files outside the shell folder\n"
      << verdict->details;
  EXPECT_EQ(Entries(temp), std::vector<std::string>{}) << file.name << " left temporary files";
  for (const auto& [path, what] : TakeSnapshot(shell)) {
    std::string name = path.substr(path.find_last_of('/') + 1);
    EXPECT_FALSE(IsProgramTempName(name)) << file.name << ": " << path;
  }
  EXPECT_EQ(ForeignPlacesPresent(), foreign) << file.name;
  return true;
}

}  // namespace slv2::test::hostile
