// slv2update --dry-run and --report on the demo machine (scripts/demo-machine),
// as a fleet tool runs them: the dry run changes nothing and lists what the
// run then does, and every report is valid against docs/report.schema.json.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>

#include "TestSupport.h"
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
  void SetUp() override {
    std::string command = std::string(SLV2_SOURCE_DIR) + "/scripts/demo-machine '" +
                          test::BinDir() + "' '" + dir.Path() + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }

  int Update(const std::vector<std::string>& extra, const std::string& report,
             const std::string& from = "") {
    std::vector<std::string> args = {"--quiet", "--package-dir", from.empty() ? package : from,
                                     "--report", report};
    args.insert(args.begin(), extra.begin(), extra.end());
    return test::RunProgram("slv2update", args, dir / "out", dir / "err");
  }

  // The report, after checking it against the published schema.
  Json Report(const std::string& file) {
    std::string command = "/usr/bin/python3 -W ignore -m jsonschema -i '" + file + "' '" +
                          SLV2_SOURCE_DIR + "/docs/report.schema.json'";
    EXPECT_EQ(std::system(command.c_str()), 0) << test::ReadFile(file);
    return Json::parse(test::ReadFile(file));
  }

  // Every entry of the machine with its content, its access list (also of
  // folders), and the registry database, byte for byte.
  std::string Snapshot() {
    std::string acl = dir / "acl";
    std::string command = "cd '" + dir / "machine" + "' && getfacl -R -p . >'" + acl + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::string all = test::ReadFile(acl) + test::ReadFile(dir / "registry.db");
    for (const auto& entry : fsys::recursive_directory_iterator(test::FsPath(dir / "machine"))) {
      std::string path = Utf8ToAnsi(entry.path().string());
      all += "\n" + path;
      if (entry.is_regular_file()) all += "\n" + test::ReadFile(path);
    }
    return all;
  }

  test::TempDir dir;
  test::ScopedEnv registry{"SLV2_REGISTRY", dir / "registry.db"};
  test::ScopedEnv dataHome{"XDG_DATA_HOME", dir / "machine/share"};
  std::string package = dir / "package";
  std::string lessons = dir / "machine/Solvane/mathematics1/data/lessons.txt";
};

// What a product did: kind, target and success of every outcome.
std::vector<std::string> Outcomes(const Json& product) {
  std::vector<std::string> list;
  for (const Json& o : product["outcomes"])
    list.push_back(o["kind"].get<std::string>() + " " + o["target"].get<std::string>() +
                   (o["ok"].get<bool>() ? "" : " failed"));
  return list;
}

TEST_F(FleetReportTest, TheDryRunChangesNothingAndListsWhatTheRunThenDoes) {
  std::string before = Snapshot();
  ASSERT_EQ(Update({"--dry-run"}, dir / "dry.json"), kExitUpdated & 0xFF)
      << test::ReadFile(dir / "err");
  EXPECT_EQ(Snapshot(), before);
  const std::string listed = test::ReadFile(dir / "out");
  EXPECT_NE(listed.find("replace  " + dir / "machine/Solvane/bin/SlvShell.exe" +
                        " (installed 1.9.0.0, new 1.10.0.0)"),
            std::string::npos);
  EXPECT_EQ(test::SplitLines(listed).back(), "Пробный запуск: ничего не изменено.");
  ASSERT_EQ(Update({}, dir / "real.json"), kExitUpdated);
  EXPECT_NE(Snapshot(), before);
  Json dry = Report(dir / "dry.json"), real = Report(dir / "real.json");
  EXPECT_TRUE(dry["dryRun"].get<bool>());
  ASSERT_EQ(dry["products"].size(), 5u);
  ASSERT_EQ(real["products"].size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(real["products"][i]["name"].get<std::string>());
    EXPECT_EQ(real["products"][i]["result"], "ok");
    EXPECT_FALSE(Outcomes(real["products"][i]).empty());
    EXPECT_EQ(Outcomes(dry["products"][i]), Outcomes(real["products"][i]));
  }
  // Which storage each machine ran, and the versions it went between.
  std::set<std::string> keys;
  for (const Json& product : real["products"]) {
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

TEST_F(FleetReportTest, EveryEndOfTheRunLeavesAValidReport) {
  struct Row {
    const char* what;
    std::vector<std::string> args;
    std::string packageDir;  // empty: the demo's package
    int status;
    const char* mathematics;  // the product's result; nullptr: not in the report
  };
  // Another version of the file the difference was made for.
  test::WriteFile(lessons, "edited by hand");
  std::string diffFailure =
      "ProcessDiff(): \"" + lessons + "\" would fail: the installed file is another version";
  for (const Row& row :
       {Row{"dry run: would fail", {"--dry-run"}, "", kExitFailed, "error"},
        Row{"failure", {}, "", kExitFailed, "error"},
        Row{"nothing to update", {}, dir / "sources", kExitNothingToUpdate, nullptr}}) {
    SCOPED_TRACE(row.what);
    std::string report = dir / "report.json";
    EXPECT_EQ(Update(row.args, report, row.packageDir), row.status & 0xFF);
    Json json = Report(report);
    EXPECT_EQ(json["exitStatus"], row.status);
    EXPECT_EQ(json.contains("reason"), row.status == kExitNothingToUpdate);
    bool found = false;
    for (const Json& product : json["products"]) {
      if (product["id"] != "mathematics1") continue;
      found = true;
      EXPECT_EQ(product["result"], row.mathematics);
      if (row.args == std::vector<std::string>{"--dry-run"}) {
        EXPECT_EQ(product["errorLines"][0], diffFailure);
      }
    }
    EXPECT_EQ(found, row.mathematics != nullptr);
    EXPECT_EQ(test::ReadFile(lessons), "edited by hand");
  }
}

TEST_F(FleetReportTest, ADryRunMakesNoRegistryWhereNoneIs) {
  test::ScopedEnv none{"SLV2_REGISTRY", dir / "none/registry.db"};
  EXPECT_EQ(Update({"--dry-run"}, dir / "dry.json"), kExitNothingToUpdate & 0xFF)
      << test::ReadFile(dir / "err");
  EXPECT_FALSE(test::PathExists(dir / "none"));
  EXPECT_EQ(Report(dir / "dry.json")["reason"],
            "no product of the family is installed on this machine");
}

// SIGTERM, SIGINT and SIGHUP end a run at its next safe point: the product
// in progress is finished or rolled back, the next ones do not start, nothing
// temporary stays, the report says so and the status is 1602. While the run
// goes on, a second start is turned away before it lists the products; the
// lock goes with the run. (A run killed outright blocks nothing either: the
// kill test's runs after each kill.)
TEST_F(FleetReportTest, ASignalEndsTheRunAtASafePointAsCancelled) {
  // The shell's COM server registration takes a while: the signal comes then.
  test::WriteFile(dir / "machine/Solvane/bin/SlvAPP.dll", "MZ");
  test::WriteFile(dir / "path/regsvr32.exe",
                  "#!/bin/sh\ntouch '" + dir / "registering" + "'\nsleep 1\n");
  fsys::permissions(test::FsPath(dir / "path/regsvr32.exe"), fsys::perms::owner_all);
  test::ScopedEnv path("PATH", dir / "path:" + Utf8ToAnsi(std::getenv("PATH")));
  const std::pair<int, const char*> signals[] = {
      {SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}};
  for (const auto& [signal, name] : signals) {
    SCOPED_TRACE(name);
    fsys::remove(test::FsPath(dir / "registering"));
    int pid = test::StartProgram(
        "slv2update", {"--quiet", "--package-dir", package, "--report", dir / "report.json"},
        dir / "slow.out", dir / "slow.err");
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 1000 && !test::PathExists(dir / "registering"); ++i)
      ::usleep(10000);
    EXPECT_EQ(Update({}, dir / "second.json"), kExitAlreadyRunning & 0xFF);
    EXPECT_NE(test::ReadFile(dir / "err")
                  .find("[Warning]\nОбновление уже выполняется на этом "
                        "компьютере. Дождитесь его завершения.\n"),
              std::string::npos);
    ASSERT_EQ(::kill(pid, signal), 0);
    EXPECT_EQ(test::WaitProgram(pid), kExitCancelled & 0xFF);
    std::vector<std::string> lines = test::SplitLines(test::ReadFile(dir / "slow.out"));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2],
              "Обновление продукта \"Оболочка Zarvik:Solvane\"...ПРЕРВАНО");
    EXPECT_EQ(lines.back(), std::string("Обновление прервано (") + name +
                                "): следующие продукты не обновлялись.");
    Json json = Report(dir / "report.json");
    EXPECT_EQ(json["exitStatus"], kExitCancelled);
    EXPECT_EQ(json["products"][0]["error"]["class"], "TRunCancelled");
    EXPECT_EQ(json["products"][1]["reason"], "the run was cancelled");
    for (const auto& entry : fsys::recursive_directory_iterator(test::FsPath(dir / "machine")))
      EXPECT_FALSE(IsProgramTempName(entry.path().filename().string())) << entry.path();
  }
  EXPECT_EQ(Update({}, dir / "report.json"), kExitUpdated) << test::ReadFile(dir / "err");
}

}  // namespace
}  // namespace slv2
