// The demo machine on Windows: the one scripts/test-windows makes with the
// Windows build (SLV2_DEMO_DIR, its registry as the script
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

class WindowsKillMachine : public KillMachine {
 public:
  WindowsKillMachine(const TempDir& dir, std::string demo) : dir_(dir), demo_(std::move(demo)) {
    ::CreateDirectoryA((dir_ / "tmp").c_str(), nullptr);
    stdfs::copy(FsPath(machine_), FsPath(saved_), stdfs::copy_options::recursive, error);
    EXPECT_FALSE(error) << "cannot save " << machine_ << ": " << error.message();
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
    const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    for (const char* version : {"Zarvik:Solvane 2.0", "Zarvik:Solvane 2.1"})
      ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, (uninstall + version).c_str());
    EXPECT_TRUE(ImportRegFile(demo_ + "\\registry.reg"));
  }

  Tree Snapshot() const override {
    Tree tree = TreeSnapshot(machine_);
    if (PathExists(group_)) {
      for (auto& [path, content] : TreeSnapshot(group_))
        tree["Programs/" + path] = std::move(content);
    }
    return tree;
  }

  // Wine's registry server applies each change whole; what a kill leaves
  // between changes the completion runs judge.
  std::string RegistryProblem() const override { return std::string(); }

  std::error_code error;  // of saving the machine

 private:
  const TempDir& dir_;
  std::string demo_;
  std::string machine_ = demo_ + "\\machine", saved_ = dir_ / "saved";
  std::string group_ = GetSpecialFolderPath(kCsidlCommonPrograms) + "\\Zarvik Solvane";
  // Temporary files a kill leaves in the temporary folder go with the test.
  ScopedEnv tmp_{TempFolderVariable(), dir_ / "tmp"};
};

}  // namespace

std::unique_ptr<KillMachine> MakeKillMachine(const TempDir& dir) {
  const char* demo = std::getenv("SLV2_DEMO_DIR");
  if (!demo) return nullptr;
  std::string folder = demo;
  std::replace(folder.begin(), folder.end(), '/', '\\');
  auto machine = std::make_unique<WindowsKillMachine>(dir, folder);
  return machine->error ? nullptr : std::move(machine);
}

}  // namespace slv2::test
