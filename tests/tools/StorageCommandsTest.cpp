// slv2pack build, list, extract, cat, merge and version, run as the publisher
// runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "storage/gmStorage.h"
#include "storage/gmZLibUtil.h"
#include "tools/ToolRun.h"

namespace slv2 {
namespace {

using test::A;

class Slv2packTest : public test::ToolTest {
 protected:
  std::string text = std::string(20000, 'a') + "end";
};

// Source tree: compressible text, incompressible data, Cyrillic names, an
// empty folder and three depths.
TEST_F(Slv2packTest, BuildListExtractAndCatRoundTripCompressingWhereItHelps) {
  std::string noise(70000, '\0');
  uint32_t seed = 7;
  for (char& c : noise)
    c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 24);
  test::WriteFile(dir / "src/readme.txt", text);
  test::WriteFile(dir / A("src/Документы/отчёт.txt"), A("отчёт ") + text);
  test::WriteFile(dir / A("src/Документы/Картинки/шум.bin"), noise);
  test::WriteFile(dir / "src/empty.txt", "");
  std::filesystem::create_directories(test::FsPath(dir / A("src/Пусто")));
  test::ToolRun build = Run({"build", dir / "src", dir / "out.stg", "--compress"});
  ASSERT_EQ(build.status, 0) << build.err;
  EXPECT_EQ(build.out + build.err, "");
  EXPECT_EQ(test::ReadFile(dir / "out.stg")[26], 3);  // the format version unless asked

  test::ToolRun list = Run({"list", dir / "out.stg"});
  ASSERT_EQ(list.status, 0) << list.err;
  // "storage\t-\t<path>" or "stream\t<size>\t<path>", each storage before
  // what it holds.
  std::vector<std::string> paths;
  std::map<std::string, std::string> kinds;
  for (const std::string& line : list.OutLines()) {
    paths.push_back(line.substr(line.rfind('\t') + 1));
    kinds[paths.back()] = line.substr(0, line.rfind('\t'));
  }
  ASSERT_EQ(kinds.size(), 7u) << list.out;
  EXPECT_EQ(kinds[A("Пусто")], "storage\t-");
  EXPECT_EQ(kinds[A("Документы/Картинки/шум.bin")], "stream\t70000");  // stored plain
  // Compressible files are stored smaller.
  for (const std::string& path : {std::string("readme.txt"), A("Документы/отчёт.txt")}) {
    ASSERT_EQ(kinds[path].rfind("stream\t", 0), 0u) << path;
    EXPECT_LT(std::stoul(kinds[path].substr(7)), 1000u) << path;
  }
  auto at = [&](const std::string& path) { return std::find(paths.begin(), paths.end(), path); };
  EXPECT_LT(at(A("Документы")), at(A("Документы/Картинки")));
  EXPECT_LT(at(A("Документы/Картинки")), at(A("Документы/Картинки/шум.bin")));

  test::ToolRun extract = Run({"extract", "out.stg", "x"});  // relative, and short as a drive name
  ASSERT_EQ(extract.status, 0) << extract.err;
  EXPECT_EQ(test::ReadFile(dir / "x/readme.txt"), text);
  EXPECT_EQ(test::ReadFile(dir / A("x/Документы/отчёт.txt")), A("отчёт ") + text);
  EXPECT_EQ(test::ReadFile(dir / A("x/Документы/Картинки/шум.bin")), noise);
  EXPECT_EQ(test::ReadFile(dir / "x/empty.txt"), "");

  SLV2_SKIP_ON_WINE("ole32 matches element names ignoring the case of ASCII letters only");
  test::ToolRun cat = Run({"cat", dir / "out.stg", A("документы\\ОТЧЁТ.txt")});
  ASSERT_EQ(cat.status, 0) << cat.err;
  EXPECT_EQ(cat.out, A("отчёт ") + text);  // the bytes, not re-encoded

  // Raw extraction keeps the stored bytes.
  ASSERT_EQ(Run({"extract", dir / "out.stg", dir / "raw", "--raw"}).status, 0);
  TMemoryStream packed, inflated;
  std::string stored = test::ReadFile(dir / "raw/readme.txt");
  packed.WriteBuffer(stored.data(), static_cast<int32_t>(stored.size()));
  ASSERT_TRUE(Decompress(packed, inflated));
  EXPECT_EQ(inflated.ToString(), text);
}

// Names no file may take, refused before anything is written. Twins that
// differ only in case cannot be made through the engine, which finds names
// without case: the second name is renamed in the file's bytes.
TEST_F(Slv2packTest, ExtractionRefusesNamesItCannotWriteSafely) {
  struct Case {
    std::vector<std::string> streams;  // "folder/name": the folder a storage
    std::u16string from, to;           // the name renamed in the file
    std::string error;
  };
  const Case cases[] = {
      {{"esc\x1b[2J.txt"}, u"", u"", "esc?[2J.txt"},
      {{"A.txt", "B.txt"}, u"B.txt", u"a.txt", "differ only in case: A.txt and a.txt"},
      {{"Dir/x.txt", "Eir/y.txt"}, u"Eir", u"dIR", "differ only in case: Dir and dIR"},
  };
  const uint32_t create = stg::kStgmCreate | stg::kStgmReadWrite | stg::kStgmShareExclusive;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
#ifdef _WIN32
    // The system's storage library lists one twin only: the refusal needs
    // the project's own engine, which Windows builds do not read with.
    if (!c.from.empty()) continue;
#endif
    {
      TgmStorageRef storage = TgmStorage::Create(dir / "bad.stg", create);
      for (const std::string& path : c.streams) {
        size_t slash = path.find('/');
        TgmStorageRef folder;
        if (slash != std::string::npos)
          storage->CreateStorage(path.substr(0, slash), create, &folder);
        (folder ? folder : storage)->CreateStream(path.substr(slash + 1), create);
      }
    }
    std::string file = test::ReadFile(dir / "bad.stg");
    std::string from(reinterpret_cast<const char*>(c.from.data()), c.from.size() * 2);
    std::string to(reinterpret_cast<const char*>(c.to.data()), c.to.size() * 2);
    if (!from.empty()) file.replace(file.find(from), from.size(), to);
    test::WriteFile(dir / "bad.stg", file);
    for (bool raw : {false, true}) {
      std::vector<std::string> args = {"extract", dir / "bad.stg", dir / "out"};
      if (raw) args.push_back("--raw");
      test::ToolRun r = Run(args);
      EXPECT_NE(r.status, 0) << raw;
      EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
      EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
      EXPECT_EQ(test::ListTree(dir / "out"), std::vector<std::string>{}) << raw;
    }
  }
}

TEST_F(Slv2packTest, WithoutCompressionOnlyFilesThatWouldReadAsCompressedAreMarked) {
  // A file whose bytes happen to be a compressed element must come back as
  // those bytes, not inflated.
  TMemoryStream source, element;
  source.WriteBuffer("inner", 5);
  Compress(source, element, 9);
  test::WriteFile(dir / "src/looks.bin", element.ToString());
  test::WriteFile(dir / "src/plain.txt", text);
  ASSERT_EQ(Run({"build", dir / "src", dir / "out.stg", "--v4"}).status, 0);
  EXPECT_EQ(test::ReadFile(dir / "out.stg")[26], 4);  // the format version asked for
  EXPECT_EQ(Run({"cat", dir / "out.stg", "looks.bin"}).out, element.ToString());
  std::vector<std::string> lines = Run({"list", dir / "out.stg"}).OutLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "stream\t20003\tplain.txt"), lines.end());
}

TEST_F(Slv2packTest, MergeReplacesStreamsAndKeepsTheRest) {
  test::WriteFile(dir / "a/common/x.txt", "new x");
  test::WriteFile(dir / A("a/новый.txt"), "added");
  test::WriteFile(dir / "b/common/x.txt", "old x");
  test::WriteFile(dir / "b/common/y.txt", "old y");
  ASSERT_EQ(Run({"build", dir / "a", dir / "a.stg", "--compress"}).status, 0);
  ASSERT_EQ(Run({"build", dir / "b", dir / "b.stg"}).status, 0);
  test::ToolRun merge = Run({"merge", dir / "a.stg", dir / "b.stg"});
  ASSERT_EQ(merge.status, 0) << merge.err;
  EXPECT_EQ(Run({"cat", dir / "b.stg", "common/x.txt"}).out, "new x");
  EXPECT_EQ(Run({"cat", dir / "b.stg", "common/y.txt"}).out, "old y");
  EXPECT_EQ(Run({"cat", dir / "b.stg", A("новый.txt")}).out, "added");
}

// A failure says what failed in one line and leaves every file as it was:
// the previous output, and no temporary file beside it. A file no stream can
// hold fails a build before anything is written.
TEST_F(Slv2packTest, FailuresGiveOneLineAndLeaveEveryFileAsItWas) {
  {
    TgmStorageRef storage = TgmStorage::Create(dir / "bad.stg", 0x1012);
    TMemoryStream data;
    data.WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
    auto stream = storage->CreateStream(A("папка/битый.txt"), 0x1012);
    Compress(data, *stream, 9);
    stream->SetSize(stream->Size() - 3);
    StringToStream("fine", *storage->CreateStream("ok.txt", 0x1012));
  }
  const std::vector<std::string> build = {"build", dir / "src", dir / "out.stg"};
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> names;  // made below src, beside ok.txt
    uint64_t size;
    int status;
    std::string said;  // program text
  } cases[] = {
      {{"cat", dir / "bad.stg", "none.txt"}, {}, 0, 1, "CreateStream(none.txt, 10)"},
      {{"list", dir / A("нет.stg")}, {}, 0, 1, A("Не могу открыть хранилище")},
      {{"build", dir / "nowhere", dir / "out.stg"}, {}, 0, 1, "nowhere"},
      {{"build", dir / "src"}, {}, 0, 2, "usage"},
      {{"extract", dir / "bad.stg", dir / "x", "--bogus"}, {}, 0, 2, "usage"},
      {build, {std::string(32, 'n')}, 1, 1, std::string(32, 'n')},  // longer than a name
      {build, {"big.bin"}, uint64_t{4} << 30, 1, "File of 4 GiB or more, larger than any stream"},
#ifndef _WIN32  // a Windows folder cannot hold names that differ in case only
      {build, {"A.txt", "a.txt"}, 1, 1, "a.txt"},
#endif
  };
  test::WriteFile(dir / "stdout", "");
  test::WriteFile(dir / "stderr", "");
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args) + ::testing::PrintToString(c.names));
    std::filesystem::remove_all(test::FsPath(dir / "src"));
    test::WriteFile(dir / "src/ok.txt", "x");
    test::WriteFile(dir / "out.stg", "previous");
    for (const std::string& name : c.names) {
      test::WriteFile(dir / ("src/" + name), "");
      std::filesystem::resize_file(test::FsPath(dir / ("src/" + name)), c.size);
    }
    std::vector<std::string> before = test::ListTree(dir.Path());
    test::ToolRun r = Run(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(test::SplitLines(r.err).size(), 1u) << r.err;
    EXPECT_NE(r.Text().find(c.said), std::string::npos) << r.err;
    EXPECT_EQ(test::ReadFile(dir / "out.stg"), "previous");
    EXPECT_EQ(test::ListTree(dir.Path()), before);
  }
  // A damaged compressed element is named, and the others are extracted.
  test::ToolRun extract = Run({"extract", dir / "bad.stg", dir / "bad"});
  EXPECT_EQ(extract.status, 1);
  EXPECT_NE(extract.Text().find(A("папка/битый.txt")), std::string::npos);
  EXPECT_EQ(test::ReadFile(dir / "bad/ok.txt"), "fine");
}

TEST_F(Slv2packTest, VersionPrintsAFilesVersionOrNoneAndHelpACommandsUsage) {
  std::string out;
  for (const char* file : {"ver_65535.exe", "ver_1_10_0_0.exe", "no_version.exe", "missing.exe"}) {
    test::ToolRun version = Run({"version", test::TestDataPath(std::string("pe/") + file)});
    EXPECT_EQ(version.status, 0) << file;
    out += version.out;
  }
  EXPECT_EQ(out, "65535.65535.65535.65535\n1.10.0.0\nnone\nnone\n");
  test::ToolRun help = Run({"help", "make"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.starts_with("usage: slv2pack make OLD_DIR NEW_DIR OUT.stg")) << help.out;
}

}  // namespace
}  // namespace slv2
