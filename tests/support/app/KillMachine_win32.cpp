// The kill test's machine on Windows: the demo machine that scripts/test-windows
// makes with the Windows build (SLV2_DEMO_DIR, its registry as the script
// DIR/registry.reg) and the family's keys in the real registry, which the
// program of the build sees; the new program group lies in the common
// Programs folder. It runs under a Russian ANSI code page (the demo's names
// are Cyrillic) and holds the family's keys, so ctest runs it alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "KillMachine.h"
#include "sys/ShFolder.h"
#include "sys/WindowsApi.h"
#include "sys/registry/RegistryUtil.h"

namespace slv2::test {
namespace {

namespace stdfs = std::filesystem;

constexpr const char* kDemoVariable = "SLV2_DEMO_DIR";
constexpr const char* kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr const char* kGroupPrefix = "Programs/";

std::string WindowsPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

class WindowsKillMachine : public KillMachine {
 public:
  explicit WindowsKillMachine(const TempDir& dir) : dir_(dir) {}

  bool Make() {
    ::CreateDirectoryA((dir_ / "tmp").c_str(), nullptr);
    std::error_code error;
    stdfs::copy(FsPath(machine_), FsPath(saved_), stdfs::copy_options::recursive, error);
    EXPECT_FALSE(error) << "cannot save " << machine_ << ": " << error.message();
    return !error;
  }

  ~WindowsKillMachine() override {
    // The next run of the test finds the machine as the demo made it.
    Restore();
  }

  std::string Package() const override { return demo_ + "\\package"; }

  void Restore() override {
    stdfs::remove_all(FsPath(machine_));
    stdfs::remove_all(FsPath(group_));
    stdfs::copy(FsPath(saved_), FsPath(machine_), stdfs::copy_options::recursive);
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
      ::RegDeleteTreeA(root, "Software\\Zarvik");
    for (const char* version : {"Zarvik:Solvane 2.0", "Zarvik:Solvane 2.1"})
      ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kUninstall) + version).c_str());
    EXPECT_TRUE(ImportRegFile(demo_ + "\\registry.reg"));
  }

  Tree Snapshot() const override {
    Tree tree = TreeSnapshot(machine_);
    if (PathExists(group_)) {
      for (auto& [path, content] : TreeSnapshot(group_))
        tree[kGroupPrefix + path] = std::move(content);
    }
    return tree;
  }

  // Wine's registry server applies each change whole; what a kill leaves
  // between changes the completion runs judge.
  std::string RegistryProblem() const override { return std::string(); }

 private:
  const TempDir& dir_;
  std::string demo_ = WindowsPath(std::getenv(kDemoVariable));
  std::string machine_ = demo_ + "\\machine", saved_ = dir_ / "saved";
  std::string group_ = GetSpecialFolderPath(kCsidlCommonPrograms) + "\\Zarvik Solvane";
  // Temporary files a kill leaves in the temporary folder go with the test.
  ScopedEnv tmp_{TempFolderVariable(), dir_ / "tmp"};
};

}  // namespace

std::string KillMachineUnavailable() {
  return std::getenv(kDemoVariable) ? std::string()
                                    : std::string(kDemoVariable) +
                                          " names no demo machine (scripts/test-windows makes one)";
}

std::unique_ptr<KillMachine> MakeKillMachine(const TempDir& dir) {
  auto machine = std::make_unique<WindowsKillMachine>(dir);
  return machine->Make() ? std::move(machine) : nullptr;
}

}  // namespace slv2::test
