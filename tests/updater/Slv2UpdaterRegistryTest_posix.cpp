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

constexpr const char* kKey = "\\Software\\Test";

std::string Value(const char* name) {
  return RegReadStringDef(reg::kHkeyLocalMachine, kKey, name, "<missing>");
}

class ProcessRegistryImportTest : public UpdaterFixture {};

TEST_F(ProcessRegistryImportTest, ScriptsAreExpandedAndImportedInOrder) {
  {
    StorageWriter s(storageFile);
    s.Add("registry/1.reg",
          "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Test]\n\"Root\"=\"${PRODUCT_ROOT}\"\n"
          "\"Data\"=\"${WIN}\\\\data\"\n\"Id\"=\"${PRODUCT_ID}\"\n\"Other\"=\"${OTHER}\"\n");
    s.AddCompressed("registry/sub/2.reg",
                    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n\"Second\"=\"2\"\r\n");
    s.Add("registry/3.reg", "this is not a registry script");
    s.Add("registry/4.reg",
          "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Test]\n\"Fourth\"=\"after a failure\"\n");
    s.Add("registry/5.reg",
          "\xEF\xBB\xBFREGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n"
          "\"Name\"=\"Словарь\"\r\n");
  }
  std::unique_ptr<TSlv2Updater> updater = Make();
  updater->AddMacro("WIN", "C:\\Programs\\Family");
  updater->Execute();
  EXPECT_EQ(Value("Root"), product);
  // Doubled by the expansion, as script strings want, and undoubled by the import.
  EXPECT_EQ(Value("Data"), "C:\\Programs\\Family\\data");
  EXPECT_EQ(Value("Id"), "testprod");
  EXPECT_EQ(Value("Other"), "${OTHER}");
  EXPECT_EQ(Value("Second"), "2");
  EXPECT_EQ(Value("Fourth"), "after a failure");
  EXPECT_EQ(Value("Name"), A("Словарь"));
  for (const char* line : {
           "DEBUG ProcessRegistry(): registry script \"1.reg\" succeeded",
           "DEBUG ProcessRegistry(): registry script \"sub/2.reg\" succeeded",
           "ERROR ProcessRegistry(): registry script \"3.reg\" failed",
           "DEBUG ProcessRegistry(): processed 5 registry scripts",
       }) {
    EXPECT_TRUE(log.Has(line)) << line << "\n" << log.Text();
  }
  ExpectNoTempFiles(product);
}

}  // namespace
}  // namespace slv2::test
