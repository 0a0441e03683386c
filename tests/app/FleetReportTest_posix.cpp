// slv2update --dry-run and --report on the demo machine (KillMachine.h), as a
// fleet tool runs them: the dry run changes nothing and lists what the run
// then does, every end of a run leaves a report valid against
// docs/report.schema.json, and a signal ends a run at a safe point.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>

#include "KillMachine.h"
#include "app/ExitStatus.h"
#include "sys/Cp1251.h"
#include "sys/Sha256.h"
#include "sys/TempNames.h"

namespace slv2 {
namespace {

namespace fsys = std::filesystem;
using Json = nlohmann::json;

class FleetReportTest : public ::testing::Test {
 protected:
  // The standard output goes beside the report.
  int Update(const std::vector<std::string>& extra, const std::string& report) {
    std::vector<std::string> args = {"--quiet", "--package-dir", package, "--report", report};
    args.insert(args.begin(), extra.begin(), extra.end());
    return test::RunProgram("slv2update", args, report + ".out", dir / "err");
  }

  // The report, after checking it against the published schema.
  Json Report(const std::string& file) {
    std::string command = "/usr/bin/python3 -W ignore -m jsonschema -i '" + file + "' '" +
                          SLV2_SOURCE_DIR + "/docs/report.schema.json'";
    EXPECT_EQ(std::system(command.c_str()), 0) << test::ReadFile(file);
    return Json::parse(test::ReadFile(file));
  }

  // Every entry of the machine (getfacl lists folders too) with its access
  // list, every file's content, and the registry database in use byte for
  // byte (each restore makes a new one).
  std::pair<std::string, test::Tree> Snapshot() {
    std::string command = "cd '" + run + "/machine' && getfacl -R -p . >'" + dir / "acl" + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::string database;
    test::GetEnv("SLV2_REGISTRY", database);
    return {test::ReadFile(dir / "acl") +
                (test::PathExists(database) ? test::ReadFile(database) : "no registry"),
            machine->Snapshot()};
  }

  test::TempDir dir;
  std::unique_ptr<test::KillMachine> machine = test::MakeKillMachine(dir);
  const std::string run = dir / "run", package = run + "/package";
  const std::string lessons = run + "/machine/Solvane/mathematics1/data/lessons.txt";
};

// What a product did: kind, target and success of every outcome.
std::vector<std::string> Outcomes(const Json& product) {
  std::vector<std::string> list;
  for (const Json& o : product["outcomes"])
    list.push_back(o["kind"].get<std::string>() + " " + o["target"].get<std::string>() +
                   (o["ok"].get<bool>() ? "" : " failed"));
  return list;
}

// Each row runs on the machine as the demo made it. SIGTERM, SIGINT and
// SIGHUP end a run at its next safe point: the product in progress is
// finished or rolled back, the next ones do not start, nothing temporary
// stays and the status is 1602; meanwhile a second start is turned away, and
// the lock goes with the run (the rows after them run).
TEST_F(FleetReportTest, EveryEndOfARunLeavesAValidReportAndADryRunChangesNothing) {
  ASSERT_TRUE(machine);
  struct Row {
    const char* what;  // also the report's name
    std::vector<std::string> args;
    int signal;            // sent while the shell's COM server registers; 0: none
    bool edited;           // another version of the file the difference was made for
    std::string database;  // "": the demo's
    int status;
    const char* mathematics;  // the product's result; nullptr: not in the report
  };
  const std::string none = dir / "none/registry.db";
  // clang-format off
  const Row rows[] = {
    {"SIGTERM", {}, SIGTERM, false, "", kExitCancelled, "skipped"},
    {"SIGINT", {}, SIGINT, false, "", kExitCancelled, "skipped"},
    {"SIGHUP", {}, SIGHUP, false, "", kExitCancelled, "skipped"},
    {"dry run", {"--dry-run"}, 0, false, "", kExitUpdated, "ok"},
    {"run", {}, 0, false, "", kExitUpdated, "ok"},
    {"dry run: would fail", {"--dry-run"}, 0, true, "", kExitFailed, "error"},
    {"failure", {}, 0, true, "", kExitFailed, "error"},
    {"dry run: no registry", {"--dry-run"}, 0, false, none, kExitNothingToUpdate, nullptr},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    machine->Restore();
    if (row.edited) test::WriteFile(lessons, "edited by hand");
    std::optional<test::ScopedEnv> database, path;
    if (!row.database.empty()) database.emplace("SLV2_REGISTRY", row.database);
    const auto before = Snapshot();
    const std::string report = dir / (std::string(row.what) + ".json");
    if (row.signal) {
      // The shell's COM server registration takes a while: the signal comes then.
      test::WriteFile(run + "/machine/Solvane/bin/SlvAPP.dll", "MZ");
      test::WriteFile(dir / "path/regsvr32.exe",
                      "#!/bin/sh\ntouch '" + dir / "registering" + "'\nsleep 1\n");
      fsys::permissions(test::FsPath(dir / "path/regsvr32.exe"), fsys::perms::owner_all);
      path.emplace("PATH", dir / "path:" + Utf8ToAnsi(std::getenv("PATH")));
      fsys::remove(test::FsPath(dir / "registering"));
      int pid = test::StartProgram("slv2update",
                                   {"--quiet", "--package-dir", package, "--report", report},
                                   report + ".out", dir / "slow.err");
      ASSERT_GT(pid, 0);
      for (int i = 0; i < 1000 && !test::PathExists(dir / "registering"); ++i)
        ::usleep(10000);
      EXPECT_EQ(Update({}, dir / "second.json"), kExitAlreadyRunning & 0xFF);
      EXPECT_NE(test::ReadFile(dir / "err")
                    .find("[Warning]\nОбновление уже выполняется на этом "
                          "компьютере. Дождитесь его завершения.\n"),
                std::string::npos);
      ASSERT_EQ(::kill(pid, row.signal), 0);
      EXPECT_EQ(test::WaitProgram(pid), kExitCancelled & 0xFF);
    } else {
      EXPECT_EQ(Update(row.args, report), row.status & 0xFF) << test::ReadFile(dir / "err");
    }
    if (!row.args.empty()) {
      EXPECT_EQ(Snapshot(), before);
    }
    Json json = Report(report);
    EXPECT_EQ(json["exitStatus"], row.status);
    EXPECT_EQ(json["dryRun"], !row.args.empty());
    EXPECT_EQ(json.contains("reason"), row.status == kExitNothingToUpdate);
    bool found = false;
    for (const Json& product : json["products"]) {
      if (product["id"] != "mathematics1") continue;
      found = true;
      EXPECT_EQ(product["result"], row.mathematics);
      if (row.edited && !row.args.empty()) {
        EXPECT_EQ(product["errorLines"][0], "ProcessDiff(): \"" + lessons +
                                                "\" would fail: the installed file is another "
                                                "version");
      }
    }
    EXPECT_EQ(found, row.mathematics != nullptr);
    if (row.edited) {
      EXPECT_EQ(test::ReadFile(lessons), "edited by hand");
    }
    if (!row.signal) continue;
    std::vector<std::string> lines = test::SplitLines(test::ReadFile(report + ".out"));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2],
              "Обновление продукта \"Оболочка Zarvik:Solvane\"...ПРЕРВАНО");
    EXPECT_EQ(lines.back(), std::string("Обновление прервано (") + row.what +
                                "): следующие продукты не обновлялись.");
    EXPECT_EQ(json["products"][0]["error"]["class"], "TRunCancelled");
    EXPECT_EQ(json["products"][1]["reason"], "the run was cancelled");
    for (const auto& entry : fsys::recursive_directory_iterator(test::FsPath(run + "/machine")))
      EXPECT_FALSE(IsProgramTempName(entry.path().filename().string())) << entry.path();
  }
  EXPECT_FALSE(test::PathExists(dir / "none"));
  EXPECT_EQ(Report(dir / "dry run: no registry.json")["reason"],
            "no product of the family is installed on this machine");

  // The dry run listed what the run then did, product by product.
  const std::string listed = test::ReadFile(dir / "dry run.json.out");
  EXPECT_NE(listed.find("replace  " + run + "/machine/Solvane/bin/SlvShell.exe" +
                        " (installed 1.9.0.0, new 1.10.0.0)"),
            std::string::npos);
  EXPECT_EQ(test::SplitLines(listed).back(), "Пробный запуск: ничего не изменено.");
  Json dry = Report(dir / "dry run.json"), real = Report(dir / "run.json");
  ASSERT_EQ(dry["products"].size(), 5u);
  ASSERT_EQ(real["products"].size(), 5u);
  std::set<std::string> keys;  // which storage each machine ran
  for (size_t i = 0; i < 5; ++i) {
    const Json& product = real["products"][i];
    SCOPED_TRACE(product["name"].get<std::string>());
    EXPECT_FALSE(Outcomes(product).empty());
    EXPECT_EQ(Outcomes(dry["products"][i]), Outcomes(product));
    keys.insert(product["key"].get<std::string>());
    EXPECT_EQ(product["storage"]["sha256"],
              Sha256Hex(test::ReadFile(Utf8ToAnsi(product["storage"]["file"].get<std::string>()))));
  }
  EXPECT_EQ(keys.size(), 5u);
  EXPECT_TRUE(keys.count("main") && keys.count("main-finish"));
  EXPECT_EQ(real["products"][0]["versionBefore"], "2.0.0");
  EXPECT_EQ(real["products"][0]["versionAfter"], "2.1.0");
  EXPECT_FALSE(dry["products"][0].contains("versionAfter"));
}

}  // namespace
}  // namespace slv2
