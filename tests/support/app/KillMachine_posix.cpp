// The demo machine on Linux: made by scripts/demo-machine with the
// build's programs, its registry an SQLite database of its own, the program
// group below its own $XDG_DATA_HOME.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <utility>

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

  // Each restore gives the registry a database file of its own, and the
  // runs and this process follow $SLV2_REGISTRY to it. Overwriting the one
  // file instead would replace a database under connections still open on
  // it (this process's registry layer keeps one; an editor a killed run
  // started may still be importing), and those read it through the old
  // file's shared index: a stale view, or a torn one that an integrity
  // check reports as damage.
  void Restore() override {
    stdfs::remove_all(machine_);
    stdfs::copy(saved_ / "machine", machine_, stdfs::copy_options::recursive);
    std::string previous =
        std::exchange(database_, Join(run_, "registry-" + std::to_string(++restores_) + ".db"));
    stdfs::copy_file(saved_ / "registry.db", database_);
    SetEnv("SLV2_REGISTRY", &database_);
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
      stdfs::remove(previous + suffix);
  }

  Tree Snapshot() const override { return TreeSnapshot(machine_); }

  std::string RegistryProblem() const override {
    std::string check = IntegrityCheck(database_);
    return check == "ok" ? std::string() : "the registry database: " + check;
  }

 private:
  const TempDir& dir_;
  std::string run_ = dir_ / "run", machine_ = run_ + "/machine", database_ = run_ + "/registry.db";
  int restores_ = 0;
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
