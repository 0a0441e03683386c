#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "ShellTestSupport.h"
#include "log/LogAppender.h"
#include "log/LogCategory.h"
#include "log/LogHierarchy.h"
#include "sys/Cp1251.h"
#include "sys/WinError.h"
#include "sys/registry/RegAnsi.h"
#include "sys/registry/RegFunctions.h"
#include "updater/Slv2Updater.h"

namespace slv2::test {

namespace stdfs = std::filesystem;

class FailingLog::Appender : public TLogAppender {
 public:
  Appender(TLogCategory& category, std::string prefix)
      : category_(category), prefix_(std::move(prefix)) {}
  TLogCategory& category_;

 protected:
  void Write(const std::string& text) override {
    if (!prefix_.empty() && text.find(" - " + prefix_) != std::string::npos) {
      prefix_.clear();
      throw ESlvUpdater("the log is full");
    }
  }

 private:
  std::string prefix_;
};

FailingLog::FailingLog(const std::string& category, const std::string& prefix)
    : appender_(
          std::make_shared<Appender>(TLogHierarchy::Default().GetCategory(category), prefix)) {
  appender_->category_.AddAppender(appender_);
}

FailingLog::~FailingLog() {
  appender_->category_.RemoveAppender(appender_);
}

ShellTest::ShellTest()
    : xdgEnv("XDG_DATA_HOME", dir / "xdg"),
      pathEnv("PATH",
              dir / "path" + ":" + Utf8ToAnsi(std::getenv("PATH") ? std::getenv("PATH") : "")) {
  fakeApi.Account("Everyone", 5);
}

void ShellTest::Install(const std::string& shellRoot, const std::string& group) {
  SetRegString(reg::kHkeyLocalMachine, kMainKey, "root", shellRoot);
  SetRegString(reg::kHkeyLocalMachine, kMainKey, "group", group);
}

void ShellTest::InstallWholeShell() {
  Install(root, oldGroup);
  WriteFile(root + "/bin/SlvAPP.dll", "MZ");
  InstallRegsvr32(0);
  WriteFile(oldGroup + "/Solvane 2.0.lnk", "main");
  SetRegString(reg::kHkeyLocalMachine, kOldUninstall, "DisplayName", "Zarvik:Solvane 2.0");
}

void ShellTest::InstallRegsvr32(int exitCode) {
  // Named as the command names it: along PATH a Windows name is taken as given.
  std::string script = dir / "path/regsvr32.exe";
  WriteFile(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" +
                        AnsiToUtf8(dir / "regsvr32.args") + "'; done\nexit " +
                        std::to_string(exitCode) + "\n");
  stdfs::permissions(AnsiToUtf8(script), stdfs::perms::owner_all);
}

std::vector<std::string> ShellTest::Regsvr32Arguments() {
  std::vector<std::string> lines;
  if (!PathExists(dir / "regsvr32.args")) return lines;
  std::istringstream text(ReadFile(dir / "regsvr32.args"));
  for (std::string line; std::getline(text, line);)
    lines.push_back(Utf8ToAnsi(line));
  return lines;
}

}  // namespace slv2::test
