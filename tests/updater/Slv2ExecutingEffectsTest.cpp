// What the executing effects do to real files beyond what the fault sweep
// sees (which also finds any temporary file a step leaves): a new file gets
// a new file's permissions, a replaced read-only file can be edited later in
// the same run, and more files than a batch holds are replaced and logged in
// element order. What only Linux shows is in the _posix twin.
#include <gtest/gtest.h>

#include <algorithm>

#include "UpdaterFixture.h"

namespace slv2::test {
namespace {

class ExecutingEffectsTest : public UpdaterFixture {};

TEST_F(ExecutingEffectsTest, NewAndReplacedFilesCanBeEditedInTheSameRun) {
  std::string target = Join(product, "bin/lib.cfg");
  WriteFile(target, "old content");
  MakeReadOnly(target);
  Run({{"files/product/bin/lib.cfg", "new content"},
       {"files/product/new/app.dll", "app"},
       {"StrReplace_After.ini", "[edit]\nSearchFor=new\nReplaceWith=edited\nFiles=bin\\*.cfg\n"}});
  EXPECT_EQ(ReadFile(target), "edited content") << log.Text();
  EXPECT_FALSE(IsReadOnly(target));
  // The permissions of a new file, not of a private temporary one.
  EXPECT_TRUE(HasNewFilePermissions(Join(product, "new/app.dll")));
}

// More elements than one batch holds: the first batch is made durable and
// renamed while the rest is written, and the log still follows the elements.
// A kept element's temporary file serves the next element of its folder.
TEST_F(ExecutingEffectsTest, ManyFilesAreReplacedInBatchesAndLoggedInElementOrder) {
  for (int i = 0; i < 700; i += 2)
    WriteFile(Join(product, "many/f") + std::to_string(i) + ".txt", "old");
  WriteFile(Join(product, "many/a.exe"), PeFile("ver_1_10_0_0.exe"));
  Streams streams = {
      {"files/product/many/a.exe", PeFile("ver_1_9_0_0.exe") + std::string(100000, 'x')}};
  for (int i = 0; i < 700; ++i)
    streams.emplace_back("files/product/many/f" + std::to_string(i) + ".txt",
                         "new " + std::to_string(i));
  Run(streams);
  std::vector<std::string> elements, logged;
  TgmStorage::Create(storageFile, stg::kStgmRead | stg::kStgmShareDenyWrite)->ListStreams(elements);
  const std::string many = Join("", "many/");  // in the platform's form
  for (const std::string& line : log.Lines()) {
    size_t name = line.find(many);
    if (line.find("ProcessFile(): ") == std::string::npos || name == std::string::npos) continue;
    std::string element = line.substr(name, line.find('"', name) - name);
    std::replace(element.begin(), element.end(), '\\', '/');
    logged.push_back("files/product" + element);
  }
  EXPECT_EQ(logged, elements);
  EXPECT_EQ(log.Count("Replaced"), 350);
  EXPECT_EQ(ReadFile(Join(product, "many/a.exe")), PeFile("ver_1_10_0_0.exe"));
  for (int i = 0; i < 700; i += 99)
    EXPECT_EQ(ReadFile(Join(product, "many/f") + std::to_string(i) + ".txt"),
              "new " + std::to_string(i));
  ExpectNoTempFiles(Join(product, "many"));
}

}  // namespace
}  // namespace slv2::test
