// The built slv2update --quiet killed at random moments of a demo-sized
// update (the machine of scripts/demo-machine; KillMachine.h), with SIGKILL
// on Linux and TerminateProcess on Windows: after every kill each installed
// file is old or new byte for byte, the registry is sound, and the run after
// each kill ends with the files and the registry of a run that was never
// killed. The seed is printed (SLV2_KILL_SEED repeats a run); SLV2_KILLS sets
// the number of kills.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "KillMachine.h"
#include "sys/TempNames.h"
#include "sys/registry/RegApi.h"

namespace slv2 {
namespace {

using Clock = std::chrono::steady_clock;
using test::Tree;

constexpr const char* kMissing = "<missing>";

int EnvInt(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::atoi(text) : fallback;
}

// The shell's configuration gets two text replacements, each atomic, one
// after the other: between them it holds the new version with the old title.
std::string Between(const std::string& path, const std::string& old) {
  if (path != "Solvane/solvane.ini") return kMissing;
  std::string text = old;
  size_t at = text.find("Version=2.0.0");
  return at == std::string::npos ? kMissing : text.replace(at + 8, 5, "2.1.0");
}

class SlvUpdateKillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine = test::MakeKillMachine(dir);
    // A failure to make it is a failure already.
    if (!machine) GTEST_SKIP() << "no demo machine (on Windows scripts/test-windows makes one)";
  }

  int Start() {
    return test::StartProgram(
        "slv2update", {"--quiet", "--package-dir", machine->Package(), "--log", dir / "log"},
        dir / "out", dir / "err");
  }
  int Update() { return test::WaitProgram(Start()); }
  // The keys the runs write: the family's, per machine and per user, and the
  // uninstall entries.
  std::vector<test::KeyTree> Registry() const {
    return {test::DumpRegKey(reg::kHkeyLocalMachine, "\\Software\\Zarvik"),
            test::DumpRegKey(reg::kHkeyCurrentUser, "\\Software\\Zarvik"),
            test::DumpRegKey(reg::kHkeyLocalMachine,
                             "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall")};
  }

  test::TempDir dir;
  std::unique_ptr<test::KillMachine> machine;
};

TEST_F(SlvUpdateKillTest, AKillAtAnyMomentLosesNothingAndTheNextRunCompletes) {
  // The old and the new tree, and how long a whole run takes.
  Tree old = machine->Snapshot();
  double span = 1e9;  // the shortest: the disk's flushes make some runs much slower
  Tree fresh;
  std::vector<test::KeyTree> freshRegistry;
  for (int i = 0; i < 3; ++i) {
    machine->Restore();
    auto start = Clock::now();
    ASSERT_EQ(Update(), 0) << test::ReadFile(dir / "err");
    span = std::min(span, std::chrono::duration<double>(Clock::now() - start).count());
    fresh = machine->Snapshot();
    freshRegistry = Registry();
  }
  ASSERT_FALSE(freshRegistry[0].empty());
  // The registry is read through this process's own connection: a restore
  // must reach it as well, or every comparison below would pass unseen.
  machine->Restore();
  ASSERT_NE(Registry(), freshRegistry);
  ASSERT_NE(old, fresh);
  std::set<std::string> contents;
  for (const Tree* tree : {&old, &fresh})
    for (const auto& [path, content] : *tree)
      contents.insert(content);

  int kills = EnvInt("SLV2_KILLS", 200);
  unsigned seed = static_cast<unsigned>(EnvInt("SLV2_KILL_SEED", std::random_device{}()));
  std::fprintf(stderr, "kills: %d over %.0f ms, seed %u (SLV2_KILL_SEED repeats it)\n", kills,
               span * 1000, seed);
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> moment(0, span);
  // Every kill hits a run on the demo's machine as it was made; the run
  // after it, as an administrator would retry, must end where a run never
  // killed ends.
  int midRun = 0, leftTemp = 0, completions = 0, incomplete = 0, partialShortcuts = 0;
  for (int k = 0; k < kills && !HasFailure(); ++k) {
    machine->Restore();
    double delay = moment(random);
    int pid = Start();
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::duration<double>(delay));
    test::KillProgram(pid);
    if (test::WaitProgram(pid) == -1) ++midRun;
    std::string where = "kill " + std::to_string(k) + " after " +
                        std::to_string(static_cast<int>(delay * 1e6)) + " us";

    Tree now = machine->Snapshot();
    std::set<std::string> paths;
    for (const Tree* tree : {&old, &fresh, &now})
      for (const auto& [path, content] : *tree)
        paths.insert(path);
    std::vector<std::string> temps;
    for (const std::string& path : paths) {
      auto state = [&](const Tree& tree) {
        auto it = tree.find(path);
        return it == tree.end() ? std::string(kMissing) : it->second;
      };
      if (IsProgramTempName(path.substr(path.find_last_of('/') + 1)) && !old.count(path)) {
        temps.push_back(path);
        continue;
      }
      std::string is = state(now);
      // A file moved or renamed whole (the shell's shortcuts) holds the
      // content of an old or a new file elsewhere.
      if (is == state(old) || is == state(fresh) || is == Between(path, state(old)) ||
          contents.count(is))
        continue;
      // Known and counted: a shortcut copied into the new group is written in
      // place, so a kill during the copy leaves part of it beside the intact
      // original until the next run copies it again.
      bool partialShortcut = path.size() > 4 && path.compare(path.size() - 4, 4, ".lnk") == 0 &&
                             std::any_of(contents.begin(), contents.end(), [&](auto& c) {
                               return c.size() > is.size() && c.compare(0, is.size(), is) == 0;
                             });
      EXPECT_TRUE(partialShortcut) << where << ": " << path;
      partialShortcuts += partialShortcut;
    }
    EXPECT_EQ(machine->RegistryProblem(), "") << where;

    leftTemp += !temps.empty();
    std::filesystem::remove(test::FsPath(dir / "log"));
    ++completions;
    // Whatever the kill had done already (a difference applied, a key
    // moved), the next run finds it in place and ends as an uninterrupted
    // run does, its temporary files removed.
    int status = Update();
    EXPECT_EQ(status, 0) << where << ": exit status " << status << "\n"
                         << test::ReadFile(dir / "out") << test::ReadFile(dir / "err");
    std::string differ = test::TreeDifferences(machine->Snapshot(), fresh);
    EXPECT_EQ(differ, "") << where << ": the next run did not complete the update";
    bool registryDiffers = Registry() != freshRegistry;
    EXPECT_FALSE(registryDiffers) << where << ": the next run left another registry";
    incomplete += !differ.empty() || registryDiffers;
  }
  std::fprintf(stderr,
               "kills: %d (%d mid-run), %d left a temporary file; nothing lost: %s; "
               "%d of %d next runs completed the update; %d partial shortcut copies\n",
               kills, midRun, leftTemp, HasFailure() ? "no" : "yes", completions - incomplete,
               completions, partialShortcuts);
}

}  // namespace
}  // namespace slv2
