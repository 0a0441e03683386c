// The publisher's mistakes that slv2pack make catches before any work, each
// named by its place in the releases, and the scratch it removes when
// interrupted.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "tools/ToolRun.h"

namespace slv2 {
namespace {

namespace sfs = std::filesystem;

class MakeMistakesTest : public test::ToolTest {
 public:
  void SetUp() override {
    test::WriteFile(dir / "old/product/a.txt", "a");
    test::WriteFile(dir / "old/product/app.exe",
                    test::ReadFile(test::TestDataPath("pe/ver_1_9_0_0.exe")));
    test::WriteFile(dir / "new/product/a.txt", "b");
    test::WriteFile(dir / "new/product/app.exe",
                    test::ReadFile(test::TestDataPath("pe/ver_1_10_0_0.exe")));
  }

  sfs::path Path(const std::string& relative) { return test::FsPath(dir / relative); }
};

TEST_F(MakeMistakesTest, EachMistakeIsNamedAndNothingIsMade) {
  struct Row {
    const char* what;
    std::function<void(MakeMistakesTest&)> arrange;
    std::vector<std::string> args;  // after "make"; OLD NEW OUT by default
    int status;
    std::vector<std::string> said;
  };
  // Links out of the release, to nothing and to a folder that holds them.
  auto links = [](MakeMistakesTest& t) {
    sfs::create_symlink("/etc/hostname", t.Path("new/product/outside.txt"));
    sfs::create_symlink("missing.txt", t.Path("new/product/dangling.txt"));
    sfs::create_directory_symlink("..", t.Path("new/product/loop"));
  };
  const std::vector<Row> rows = {
      {"every offender of both releases at once",
       [&](MakeMistakesTest& t) {
         links(t);
         ASSERT_EQ(::mkfifo(t.Path("old/product/pipe").c_str(), 0600), 0);
         // A name in the file system's own UTF-8 that Windows-1251 cannot hold.
         std::ofstream(t.Path("new/product").string() + "/kanji\xE6\x97\xA5.txt") << "x";
         test::WriteFile(t.dir / "new/product/x.diff", "x");
         test::WriteFile(t.dir / "new/product/y.patch", "x");
         test::WriteFile(t.dir / "new/product/A.TXT", "x");
       },
       {},
       1,
       {"new/product/outside.txt: a link; --follow-links", "new/product/dangling.txt: a link",
        "new/product/loop: a link", "old/product/pipe: a FIFO, device or socket",
        "new/product/kanji?.txt: the name holds a character", "product/x.diff: the updater takes",
        "product/y.patch: the updater takes a name ending in .patch",
        "its name differs only in case from", "8 problems in the releases; nothing made"}},
      {"links followed stay inside the release",
       links,
       {"--follow-links"},
       1,
       {"outside.txt: a link to /etc/hostname, outside the release",
        "dangling.txt: a link to nothing", "loop: a link to a folder that holds it", "3 problems"}},
      {"a link inside the release, followed",
       [](MakeMistakesTest& t) { sfs::create_symlink("a.txt", t.Path("new/product/copy.txt")); },
       {"--follow-links"},
       0,
       {"verify: OK as product out: the update turns OLD into NEW, 3 files equal"}},
      {"OLD one folder too deep",
       [](MakeMistakesTest& t) {
         sfs::rename(t.Path("old/product"), t.Path("deep"));
         sfs::create_directories(t.Path("old/product"));
         sfs::rename(t.Path("deep"), t.Path("old/product/product"));
       },
       {"--strict"},
       1,
       {"warning: OLD and NEW share no file", "--strict: nothing made"}},
      {"nothing in OLD, nothing to doubt",
       [](MakeMistakesTest& t) {
         sfs::remove_all(t.Path("old/product"));
         sfs::create_directories(t.Path("old/product"));
       },
       {"--strict"},
       0,
       {"verify: OK as product out"}},
      {"the same release twice", {}, {"old", "old", "out.stg"}, 3, {"nothing to update"}},
      {"OUT inside NEW", {}, {"old", "new", "new/out.stg"}, 1, {"lies inside NEW new"}},
      {"a missing extra folder",
       {},
       {"--extra", "no-such"},
       1,
       {"--extra no-such: no such folder"}},
      {"a misspelt option", {}, {"--alow-kept"}, 2, {"make: unknown option --alow-kept"}},
      {"an option without its value", {}, {"--extra"}, 2, {"make: --extra needs a value"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    SetUp();
    if (row.arrange) row.arrange(*this);
    std::vector<std::string> args = {"make"};
    if (row.args.empty() || row.args[0].starts_with("--"))
      args.insert(args.end(), {"old", "new", "out.stg"});
    args.insert(args.end(), row.args.begin(), row.args.end());
    test::ToolRun run = Run(args);
    EXPECT_EQ(run.status, row.status);
    std::string output = run.Text();
    for (const std::string& line : row.said)
      EXPECT_NE(output.find(line), std::string::npos) << line << "\n" << output;
    EXPECT_EQ(test::PathExists(dir / "out.stg"), row.status == 0);
    sfs::remove(Path("out.stg"));
    sfs::remove_all(Path("old"));
    sfs::remove_all(Path("new"));
  }
}

TEST_F(MakeMistakesTest, AnInterruptedMakeLeavesNothingBehind) {
  // Enough to encode that the signal comes mid-work.
  std::string big;
  for (int i = 0; big.size() < (24 << 20); ++i)
    big += std::to_string(i * 2654435761u) + "\n";
  test::WriteFile(dir / "old/product/big.txt", big);
  test::WriteFile(dir / "new/product/big.txt", big.substr(1000) + "tail");
  test::WriteFile(dir / "tmp/.keep", "");
  test::ScopedEnv tmp(test::TempFolderVariable(), dir / "tmp");
  test::WriteFile(dir / "out/.keep", "");
  int pid = test::StartProgram("slv2pack", {"make", dir / "old", dir / "new", dir / "out/u.stg"},
                               dir / "stdout", dir / "stderr");
  ASSERT_GT(pid, 0);
  auto scratch = [&] { return test::ListTree(dir / "tmp").size() > 1; };
  for (int i = 0; i < 500 && !scratch(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(scratch()) << "no scratch folder appeared";
  ::kill(pid, SIGINT);
  EXPECT_EQ(test::WaitProgram(pid), 130);
  EXPECT_EQ(test::ListTree(dir / "tmp"), std::vector<std::string>{".keep"});
  EXPECT_EQ(test::ListTree(dir / "out"), std::vector<std::string>{".keep"});
  std::string said = test::FromTerminalText(test::ReadFile(dir / "stderr"));
  EXPECT_NE(said.find("interrupted (signal 2); nothing left behind"), std::string::npos) << said;
}

}  // namespace
}  // namespace slv2
