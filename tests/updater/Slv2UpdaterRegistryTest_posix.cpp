// Registry scripts of an update storage imported by the real regedit
// program into the test's registry. Linux only: the registry of the tests
// is a database that regedit, a process of its own, opens too; on Windows
// regedit.exe writes the machine's registry, not the one the test process
// sees (the end-to-end test imports a script there).
#include <gtest/gtest.h>

#include "UpdaterFixture.h"
#include "sys/registry/RegFunctions.h"

namespace slv2::test {
namespace {

class ProcessRegistryImportTest : public UpdaterFixture {};

// The scripts are one change of the registry, yet one that fails stops
// neither the scripts before it nor those after it.
TEST_F(ProcessRegistryImportTest, ScriptsAreExpandedAndImportedPastOneThatFails) {
  const std::string key = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n";
  {
    StorageWriter s(storageFile);
    s.AddCompressed("registry/1.reg", key + "\"Data\"=\"${WIN}\\\\data\"\r\n");
    s.Add("registry/2.reg", "this is not a registry script");
    s.Add("registry/3.reg", "\xEF\xBB\xBF" + key + "\"Name\"=\"Словарь\"\r\n");
  }
  std::unique_ptr<TSlv2Updater> updater = Make();
  updater->AddMacro("WIN", "C:\\Programs\\Family");
  updater->Execute();
  auto value = [](const char* name) {
    return RegReadStringDef(reg::kHkeyLocalMachine, "\\Software\\Test", name, "<missing>");
  };
  // Doubled by the expansion, as script strings want, and undoubled by the import.
  EXPECT_EQ(value("Data"), "C:\\Programs\\Family\\data");
  EXPECT_EQ(value("Name"), A("Словарь"));
  EXPECT_EQ(log.Count("ERROR"), 2) << log.Text();
  EXPECT_EQ(log.Count("(\"2.reg\" is not a registry script)"), 1);
  EXPECT_EQ(log.Count("ERROR ProcessRegistry(): registry script \"2.reg\" failed"), 1);
  ExpectNoTempFiles(product);
}

}  // namespace
}  // namespace slv2::test
