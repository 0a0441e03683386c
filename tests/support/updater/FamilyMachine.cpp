#include "FamilyMachine.h"

#include <filesystem>

namespace slv2::test {

FamilyMachine::FamilyMachine() {
  std::filesystem::create_directories(FsPath(package));
  InstallShell(FamilyLayout::Machine21, shell);
  InstallCommonGroup("\\Software\\Zarvik\\Solvane 2.1\\main");
}

void FamilyMachine::Install(const std::string& id) {
  if (id != "main") InstallProduct(FamilyLayout::Machine21, id, id);
}

void FamilyMachine::Pack(const std::string& name, const Streams& streams) {
  StorageWriter{package + "/" + name + ".stg", streams};
}

}  // namespace slv2::test
