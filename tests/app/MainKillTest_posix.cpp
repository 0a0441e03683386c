// The built slv2update --quiet killed with SIGKILL at random moments of a
// demo-sized update (the machine of scripts/demo-machine): after every kill
// each installed file is old or new byte for byte, the registry database is
// sound, and a run without a kill completes the update. The seed is printed
// (SLV2_KILL_SEED repeats a run); SLV2_KILLS sets the number of kills.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "TestSupport.h"
#include "XDisplaySupport.h"
#include "sys/TempNames.h"

namespace slv2 {
namespace {

namespace stdfs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Tree = std::map<std::string, std::string>;  // path below the machine -> content

constexpr const char* kMissing = "<missing>";

// Sets an environment variable for the object's life.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* previous = std::getenv(name)) previous_ = previous;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() { previous_ ? ::setenv(name_, previous_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

int EnvInt(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::atoi(text) : fallback;
}

// "ok" when SQLite finds the database sound (a journal left by a kill is
// rolled back first, as the next program to open it would), else what it
// found.
std::string IntegrityCheck(const std::string& database) {
  sqlite3* db = nullptr;
  std::string result;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    result = "cannot open";
  } else {
    // A registry editor the killed program had started may still be
    // importing: its lock is waited for, as the next program would.
    sqlite3_busy_timeout(db, 10000);
    if (sqlite3_exec(
            db, "PRAGMA integrity_check",
            [](void* out, int, char** values, char**) {
              *static_cast<std::string*>(out) += values[0] ? values[0] : "";
              return 0;
            },
            &result, nullptr) != SQLITE_OK) {
      result = sqlite3_errmsg(db);
    }
  }
  sqlite3_close(db);
  return result;
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
    stdfs::create_directories(dir / "tmp");
    std::string command = "'" + std::string(SLV2_SOURCE_DIR) + "/scripts/demo-machine' '" +
                          test::BinDir() + "' '" + run + "' >'" + dir / "demo.out" + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << test::ReadFile(dir / "demo.out");
    stdfs::create_directories(saved);
    stdfs::copy(machine, saved / "machine", stdfs::copy_options::recursive);
    stdfs::copy_file(database, saved / "registry.db");
  }

  // The machine and its registry as the demo made them; a journal a kill
  // left goes too, or SQLite would replay it into the restored database.
  void Restore() {
    stdfs::remove_all(machine);
    stdfs::copy(saved / "machine", machine, stdfs::copy_options::recursive);
    for (const char* suffix : {"-journal", "-wal", "-shm"})
      stdfs::remove(database + suffix);
    stdfs::copy_file(saved / "registry.db", database, stdfs::copy_options::overwrite_existing);
  }

  Tree Snapshot() const {
    Tree tree;
    for (const auto& entry : stdfs::recursive_directory_iterator(machine)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      tree[entry.path().string().substr(machine.size() + 1)].assign(
          std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return tree;
  }

  int Start() {
    return test::StartProgram("slv2update",
                              {"--quiet", "--package-dir", run + "/package", "--log", dir / "log"},
                              dir / "out", dir / "err");
  }
  int Update() { return test::WaitProgram(Start()); }
  // The error lines of the detailed log, for failure messages.
  std::string LoggedErrors() const {
    std::ifstream in(dir / "log", std::ios::binary);
    std::string errors;
    for (std::string line; std::getline(in, line);)
      if (line.find("ERROR") != std::string::npos) errors += line + "\n";
    return errors;
  }

  test::TempDir dir;
  std::string run = dir / "run", machine = run + "/machine", database = run + "/registry.db";
  stdfs::path saved = stdfs::path(dir / "saved");
  ScopedVariable registry{"SLV2_REGISTRY", database};
  ScopedVariable xdg{"XDG_DATA_HOME", machine + "/share"};
  // Temporary files a kill leaves in the temporary folder go with the test.
  ScopedVariable tmp{"TMPDIR", dir / "tmp"};
  test::DisplayVariable noDisplay{""};
};

TEST_F(SlvUpdateKillTest, AKillAtAnyMomentLosesNothingAndTheNextRunCompletes) {
  // The old and the new tree, and how long a whole run takes.
  Tree old = Snapshot();
  std::vector<double> durations;
  Tree fresh;
  for (int i = 0; i < 3; ++i) {
    Restore();
    auto start = Clock::now();
    ASSERT_EQ(Update(), 0) << test::ReadFile(dir / "err");
    durations.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    fresh = Snapshot();
  }
  ASSERT_NE(old, fresh);
  std::set<std::string> contents;
  for (const Tree* tree : {&old, &fresh})
    for (const auto& [path, content] : *tree)
      contents.insert(content);
  std::sort(durations.begin(), durations.end());
  double span = durations[0];  // the disk's flushes make some runs much slower

  int kills = EnvInt("SLV2_KILLS", 200);
  unsigned seed = static_cast<unsigned>(EnvInt("SLV2_KILL_SEED", std::random_device{}()));
  std::fprintf(stderr, "kills: %d over %.0f ms, seed %u (SLV2_KILL_SEED repeats it)\n", kills,
               span * 1000, seed);
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> moment(0, span);
  // Runs are killed one after the other, each on what the kill before it
  // left, as an administrator would retry; every tenth kill a run without a
  // kill must complete the update, and the machine starts afresh.
  constexpr int kChain = 10;
  int midRun = 0, leftTemp = 0, completions = 0, incomplete = 0, partialShortcuts = 0;
  for (int k = 0; k < kills && !HasFailure(); ++k) {
    if (k % kChain == 0) Restore();
    double delay = moment(random);
    int pid = Start();
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::duration<double>(delay));
    ::kill(pid, SIGKILL);
    if (test::WaitProgram(pid) == -1) ++midRun;
    std::string where = "kill " + std::to_string(k) + " after " +
                        std::to_string(static_cast<int>(delay * 1e6)) + " us";

    Tree now = Snapshot();
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
      if (IsProgramTempName(stdfs::path(path).filename().string()) && !old.count(path)) {
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
    EXPECT_EQ(IntegrityCheck(database), "ok") << where;

    leftTemp += !temps.empty();
    if (k % kChain == kChain - 1 || k == kills - 1) {
      stdfs::remove(dir / "log");
      ++completions;
      ASSERT_EQ(Update(), 0) << where << "\n"
                             << test::ReadFile(dir / "out") << test::ReadFile(dir / "err")
                             << LoggedErrors();
      // Whatever the kills left, a run without one ends with the new tree,
      // the temporary files they left removed.
      Tree done = Snapshot();
      std::string differ;
      for (const Tree* tree : {&done, &fresh})
        for (const auto& [path, content] : *tree) {
          const Tree& other = tree == &done ? fresh : done;
          auto it = other.find(path);
          if (it == other.end() || it->second != content) differ += path + "; ";
        }
      EXPECT_EQ(differ, "") << where << ": the next run did not complete the update";
      incomplete += !differ.empty();
    }
  }
  std::fprintf(stderr,
               "kills: %d SIGKILLs (%d mid-run), %d left a temporary file; nothing lost: %s; "
               "%d of %d next runs completed the update; %d partial shortcut copies\n",
               kills, midRun, leftTemp, HasFailure() ? "no" : "yes", completions - incomplete,
               completions, partialShortcuts);
  RecordProperty("kills", kills);
  RecordProperty("kills_mid_run", midRun);
}

}  // namespace
}  // namespace slv2
