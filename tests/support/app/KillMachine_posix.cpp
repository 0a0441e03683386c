// The demo machine on Linux: made by scripts/demo-machine with the
// build's programs, its registry an SQLite database of its own, the program
// group below its own $XDG_DATA_HOME.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "KillMachine.h"

namespace slv2::test {
namespace {

namespace stdfs = std::filesystem;

class PosixKillMachine : public KillMachine {
 public:
  explicit PosixKillMachine(const TempDir& dir) : dir_(dir) {
    stdfs::create_directories(dir_ / "tmp");
    std::string command = "'" + std::string(SLV2_SOURCE_DIR) + "/scripts/demo-machine' '" +
                          BinDir() + "' '" + run_ + "' >'" + dir_ / "demo.out" + "' 2>&1";
    made = std::system(command.c_str()) == 0;
    EXPECT_TRUE(made) << ReadFile(dir_ / "demo.out");
    if (!made) return;
    stdfs::create_directories(saved_);
    stdfs::copy(machine_, saved_ / "machine", stdfs::copy_options::recursive);
    stdfs::copy_file(database_, saved_ / "registry.db");
  }
  bool made = false;

  std::string Package() const override { return run_ + "/package"; }

  // A journal a kill left goes too, or SQLite would replay it into the
  // restored database.
  void Restore() override {
    stdfs::remove_all(machine_);
    stdfs::copy(saved_ / "machine", machine_, stdfs::copy_options::recursive);
    for (const char* suffix : {"-journal", "-wal", "-shm"})
      stdfs::remove(database_ + suffix);
    stdfs::copy_file(saved_ / "registry.db", database_, stdfs::copy_options::overwrite_existing);
  }

  Tree Snapshot() const override { return TreeSnapshot(machine_); }

  std::string RegistryProblem() const override {
    std::string check = IntegrityCheck(database_);
    return check == "ok" ? std::string() : "the registry database: " + check;
  }

 private:
  const TempDir& dir_;
  std::string run_ = dir_ / "run", machine_ = run_ + "/machine", database_ = run_ + "/registry.db";
  stdfs::path saved_ = stdfs::path(dir_ / "saved");
  ScopedEnv registry_{"SLV2_REGISTRY", database_};
  ScopedEnv xdg_{"XDG_DATA_HOME", machine_ + "/share"};
  // Temporary files a kill leaves in the temporary folder go with the test.
  ScopedEnv tmp_{"TMPDIR", dir_ / "tmp"};
  ScopedEnv noDisplay_{"DISPLAY", ""};
};

}  // namespace

std::unique_ptr<KillMachine> MakeKillMachine(const TempDir& dir) {
  auto machine = std::make_unique<PosixKillMachine>(dir);
  return machine->made ? std::move(machine) : nullptr;
}

}  // namespace slv2::test
