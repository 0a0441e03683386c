// Whole product updates with a file operation failing at every point in
// turn (the file layer's test-only fault hook): after each faulted run every
// installed file holds its old or its new content, nothing temporary is
// left, an incomplete update says so with an error, and the next run without
// the fault completes it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "UpdaterFixture.h"
#include "sys/FaultInjection.h"
#include "sys/registry/RegFunctions.h"

namespace slv2::test {
namespace {

namespace stdfs = std::filesystem;
namespace fault = fs::fault;

constexpr const char* kKey = "\\Software\\Test";
constexpr const char* kMissing = "<missing>";
constexpr int64_t kSample = 40;

std::string Lines(const char* word, int count) {
  std::string text;
  for (int i = 0; i < count; ++i)
    text += word + std::to_string(i) + " of the installed file\r\n";
  return text;
}

class UpdaterFaultsTest : public UpdaterFixture {
 protected:
  void SetUp() override {
    {
      TempDir work;  // in the temporary folder, which must be empty for the runs
      resultsDb = CompoundFileBytes(work, {{"scores", "old scores"}, {"pupils", "pupils"}});
      mediaStg = CompoundFileBytes(work, {{"circle.svg", "<svg/>"}, {"img/sq.svg", "<rect/>"}});
      WriteStorage(work);
    }
    InstallOld();
    old = TreeSnapshot(shell);
    ASSERT_TRUE(RunUpdate()) << log.Text();
    fresh = TreeSnapshot(shell);
    // What the update changes, once on the real files: the steps no other
    // test runs on them (replacements, kept versions and text edits are the
    // executing effects' tests').
    const std::string p = product.substr(shell.size() + 1) + "/";
    EXPECT_EQ(fresh.at(p + "data/lessons.txt"), Lines("new line ", 2000));
    // What a merge keeps, replaces and adds is the engine's own copy's.
    EXPECT_NE(fresh.at(p + "data/results.db"), resultsDb);
    EXPECT_EQ(fresh.at(p + "media/img/sq.svg"), "<rect/>");
    for (const char* gone : {"media.stg", "old/readme.txt", "cache.tmp"})
      EXPECT_EQ(fresh.count(p + gone), 0u) << gone;
    ASSERT_EQ(RegistryValue(), NewRegistryValue());
  }
  void TearDown() override {
    fault::Disarm();
    fault::SetCreationFails(false);
  }

  // Every kind of work an update does on installed files.
  void WriteStorage(const TempDir& work) {
    StorageWriter s(storageFile);
    s.Add("files/product/bin/app.exe", PeFile("ver_1_10_0_0.exe"));  // replaces 1.9
    s.Add("files/product/bin/calc.exe", PeFile("ver_1_9_0_0.exe"));  // 2.1 installed: kept
    s.Add("files/product/bin/geometry.exe", PeFile("ver_2_1_0_5_x86.exe"));
    s.Add("files/product/config.txt", CompressedElement(Lines("setting ", 300)));
    s.Add("files/product/locked.txt", "new content of a read-only file");
    for (int i = 0; i < 12; ++i)
      s.Add("files/product/new/file" + std::to_string(i) + ".txt", "new " + std::to_string(i));
    s.Add("files/product/data/lessons.txt.diff",
          DifferenceBytes(work, Lines("line ", 2000), Lines("new line ", 2000)));
    s.Add("files/product/data/results.db.patch",
          CompoundFileBytes(work, {{"scores", "new scores"}, {"version", "2.1"}}));
    s.Add("files/product/after.txt", "after the merge");
    s.Add("files/solvane/shell.txt", "new shell file");
    s.Add("Delete_Before.ini", "[Files]\r\n1=old\r\n");
    s.Add("Delete_After.ini", "[Files]\r\n1=*.tmp\r\n");
    s.Add("StrReplace_Before.ini",
          "[Host]\r\nSearchFor=Host=localhost\r\nReplaceWith=Host=${PRODUCT_ID}.school\r\n"
          "Files=*.ini\r\n");
    s.Add("UnpackStorage.ini", "[Media]\r\nStorage=media.stg\r\nDestination=media\r\n");
    // A registry script only where its import reaches the test's registry.
    if (TempRegistry::ReachesPrograms()) {
      s.Add("registry/version.reg",
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n\"Root\"=\"${PRODUCT_ROOT}"
            "\"\r\n");
    }
  }

  // The installed product as it was before any update.
  void InstallOld() {
    std::error_code ec;
    stdfs::remove_all(FsPath(shell), ec);
    stdfs::remove_all(FsPath(dir / "tmp"), ec);
    stdfs::create_directories(FsPath(dir / "tmp"));
    WriteFile(shell + "/shell.txt", "shell file");
    WriteFile(product + "/keep.txt", "product file");
    WriteFile(product + "/bin/app.exe", PeFile("ver_1_9_0_0.exe"));
    WriteFile(product + "/bin/calc.exe", PeFile("ver_2_1_0_12.exe"));
    WriteFile(product + "/config.txt", "setting 0\r\n");
    WriteFile(product + "/locked.txt", "old read-only content");
    MakeReadOnly(product + "/locked.txt");
    WriteFile(product + "/data/lessons.txt", Lines("line ", 2000));
    WriteFile(product + "/data/results.db", resultsDb);
    WriteFile(product + "/old/readme.txt", "old readme");
    WriteFile(product + "/old/notes.txt", "old notes");
    WriteFile(product + "/cache.tmp", "cache");
    WriteFile(product + "/math.ini", "[Server]\r\nHost=localhost\r\n");
    WriteFile(product + "/media.stg", mediaStg);
    RegWriteString(reg::kHkeyLocalMachine, kKey, "Root", "old");
  }

  std::string NewRegistryValue() const {
    return TempRegistry::ReachesPrograms() ? product : std::string("old");
  }
  std::string RegistryValue() const {
    return RegReadStringDef(reg::kHkeyLocalMachine, kKey, "Root", kMissing);
  }

  // Runs the update as the program does; true when it reports success: the
  // storage opened, nothing raised and no step logged an error.
  bool RunUpdate() {
    int errors = log.Count("ERROR ");
    try {
      Make()->Execute();
    } catch (const std::exception&) {
      return false;
    }
    return log.Count("ERROR ") == errors;
  }

  // Every file is old or new, nothing else is there, and the registry value
  // is old or new.
  void ExpectOldOrNew(const std::string& where) {
    Tree now = TreeSnapshot(shell);
    auto state = [](const Tree& in, const std::string& path) {
      auto it = in.find(path);
      return it == in.end() ? std::string(kMissing) : it->second;
    };
    // Each path of the three trees once, so that a failure is reported once.
    std::set<std::string> paths;
    for (const Tree* tree : {&old, &fresh, &now})
      for (const auto& [path, unused] : *tree)
        paths.insert(path);
    for (const std::string& path : paths) {
      std::string is = state(now, path);
      EXPECT_TRUE(is == state(old, path) || is == state(fresh, path))
          << where << ": " << path << " is neither old nor new (" << is.size() << " bytes)";
    }
    // The read-only file stays protected until its replacement is in place.
    std::string locked = product.substr(shell.size() + 1) + "/locked.txt";
    EXPECT_EQ(IsReadOnly(product + "/locked.txt"), now[locked] == old.at(locked)) << where;
    EXPECT_TRUE(ListTree(dir / "tmp").empty()) << where << ": left in the temporary folder";
    std::string value = RegistryValue();
    EXPECT_TRUE(value == "old" || value == product) << where << ": registry value " << value;
  }

  // Runs the update with the fault armed at each point of the kinds in turn.
  void Sweep(unsigned kinds, const char* name) {
    InstallOld();
    fault::Arm(INT64_MAX, kinds);
    RunUpdate();
    int64_t points = fault::Counted();
    fault::Disarm();
    EXPECT_GT(points, 0);
    // Every run flushes to disk, which costs: by default an even sample of
    // at most kSample points; SLV2_FAULT_STRIDE=1 injects at every point.
    const char* strideText = std::getenv("SLV2_FAULT_STRIDE");
    int stride = strideText ? std::max(1, std::atoi(strideText))
                            : static_cast<int>((points + kSample - 1) / kSample);
    int injected = 0;
    for (int64_t point = 1; point <= points; point += stride) {
      std::string where =
          std::string(name) + " fault at " + std::to_string(point) + "/" + std::to_string(points);
      InstallOld();
      log.Clear();
      fault::Arm(point, kinds);
      bool succeeded = RunUpdate();
      bool fired = fault::Fired();
      fault::Disarm();
      EXPECT_TRUE(fired) << where;
      ++injected;
      ExpectOldOrNew(where);
      if (succeeded) {
        EXPECT_EQ(TreeDifferences(TreeSnapshot(shell), fresh), "")
            << where << ": reported a success, but incomplete\n"
            << log.Text();
        EXPECT_EQ(RegistryValue(), NewRegistryValue()) << where << ": reported a success";
      }
      log.Clear();
      RunUpdate();
      EXPECT_EQ(TreeDifferences(TreeSnapshot(shell), fresh), "")
          << where << ": the next run did not complete the update\n"
          << log.Text();
      EXPECT_EQ(RegistryValue(), NewRegistryValue()) << where;
      EXPECT_TRUE(ListTree(dir / "tmp").empty()) << where;
      if (HasFailure()) break;  // one point's story is enough to read
    }
    std::fprintf(stderr, "fault injection: %s: %d of %lld points injected, all survived: %s\n",
                 name, injected, static_cast<long long>(points), HasFailure() ? "no" : "yes");
    RecordProperty(std::string(name) + "_points", injected);
  }

  std::string resultsDb, mediaStg;  // installed compound files
  Tree old, fresh;
};

// Reads, writes and flushes, renames and copies, creations of files,
// folders and temporary files.
TEST_F(UpdaterFaultsTest, AFailedOperationAnywhereLosesNothing) {
  for (auto [kind, name] : {std::pair{fault::kRead, "read"},
                            {fault::kWrite, "write"},
                            {fault::kRename, "rename"},
                            {fault::kCreate, "create"}})
    Sweep(kind, name);
}

TEST_F(UpdaterFaultsTest, WhenNoFileCanBeCreatedNothingChangesButTheErrorIsLogged) {
  InstallOld();
  fault::SetCreationFails(true);
  EXPECT_FALSE(RunUpdate());
  fault::SetCreationFails(false);
  ExpectOldOrNew("no creation");
  log.Clear();
  RunUpdate();
  EXPECT_EQ(TreeDifferences(TreeSnapshot(shell), fresh), "") << log.Text();
  std::fprintf(stderr, "fault injection: every creation fails: survived: %s\n",
               HasFailure() ? "no" : "yes");
}

}  // namespace
}  // namespace slv2::test
