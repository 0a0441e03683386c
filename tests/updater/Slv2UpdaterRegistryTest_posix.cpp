// Registry scripts of an update storage imported by the real regedit
// program into the test's registry. Linux only: the registry of the tests
// is a database that regedit, a process of its own, opens too; on Windows
// regedit.exe writes the machine's registry, not the one the test process
// sees (the end-to-end test imports a script there).
#include <gtest/gtest.h>

#include "UpdaterFixture.h"
#include "sys/Cp1251.h"
#include "sys/registry/RegAnsi.h"
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
  for (const char* line : {
           "DEBUG ProcessRegistry(): registry script \"1.reg\" succeeded",
           "DEBUG ProcessRegistry(): registry script \"sub/2.reg\" succeeded",
           "ERROR ProcessRegistry(): registry script \"3.reg\" failed",
           "DEBUG ProcessRegistry(): processed 4 registry scripts",
       }) {
    EXPECT_TRUE(log.Has(line)) << line << "\n" << log.Text();
  }
  ExpectNoTempFiles(product);
}

TEST_F(ProcessRegistryImportTest, TheScriptIsRewrittenOnlyWhenItHadReferences) {
  std::unique_ptr<TSlv2Updater> updater = TSlv2TestUpdater::Class().Create();
  std::string plain = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Test]\n\"Plain\"=\"1\"\n";
  WriteFile(dir / "plain.reg", plain);
  EXPECT_TRUE(updater->ProcessRegFile(dir / "plain.reg"));
  EXPECT_EQ(ReadFile(dir / "plain.reg"), plain);

  WriteFile(dir / "macro.reg",
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Test]\n\"Id\"=\"${PRODUCT_ID}\"");
  EXPECT_TRUE(updater->ProcessRegFile(dir / "macro.reg"));
  EXPECT_EQ(ReadFile(dir / "macro.reg"),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n\"Id\"=\"testprod\"\r\n");

  // 16-bit text: the zero byte after its first character ends the line
  // pass, so the script goes to the import as it is.
  std::u16string wide =
      u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n"
      u"\"Wide\"=\"${PRODUCT_ID}\"\r\n";
  std::string bytes(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
  WriteFile(dir / "wide.reg", bytes);
  EXPECT_TRUE(updater->ProcessRegFile(dir / "wide.reg"));
  EXPECT_EQ(ReadFile(dir / "wide.reg"), bytes);
  EXPECT_EQ(Value("Wide"), "${PRODUCT_ID}");
}

// A script in UTF-8 with its byte-order mark, as many editors write it: the
// mark is no part of the header, its text keeps every letter, and macro
// values go in whole.
TEST_F(ProcessRegistryImportTest, AScriptInUtf8KeepsItsTextAndTheMacroValues) {
  const char* headers[] = {"REGEDIT4", "Windows Registry Editor Version 5.00"};
  for (const char* header : headers) {
    SCOPED_TRACE(header);
    std::unique_ptr<TSlv2Updater> updater = TSlv2TestUpdater::Class().Create();
    updater->AddMacro("MEDIA", A("D:\\Медиа"));
    WriteFile(dir / "utf8.reg", std::string("\xEF\xBB\xBF") + header +
                                    "\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n"
                                    "\"Name\"=\"Словарь\"\r\n\"Media\"=\"${MEDIA}\"\r\n");
    EXPECT_TRUE(updater->ProcessRegFile(dir / "utf8.reg"));
    EXPECT_EQ(Value("Name"), A("Словарь"));
    EXPECT_EQ(Value("Media"), A("D:\\Медиа"));
    RegWriteString(reg::kHkeyLocalMachine, kKey, "Name", "");
  }
}

}  // namespace
}  // namespace slv2::test
