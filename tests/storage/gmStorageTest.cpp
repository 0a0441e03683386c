#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "TestSupport.h"
#include "storage/gmStorage.h"
#include "storage/gmZLibUtil.h"
#include "sys/Cp1251.h"
#include "sys/Format.h"

namespace slv2 {
namespace {

using test::A;

constexpr uint32_t kRead = 0x20;       // how the updater opens everything it reads
constexpr uint32_t kReadWrite = 0x12;  // how it opens a compound file to merge into
constexpr uint32_t kCreate = 0x1012;

std::string Compressed(const std::string& data) {
  TMemoryStream source, out;
  source.WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  Compress(source, out, 9);
  return out.ToString();
}

std::string Content(TgmStorage& storage, const std::string& path) {
  std::string out;
  EXPECT_TRUE(StreamToString(*storage.CreateStream(path, kRead), out));
  return out;
}

class StorageTest : public ::testing::Test {
 protected:
  // A compound file holding the given streams (paths with "/").
  std::string Make(const std::string& name, const std::map<std::string, std::string>& streams) {
    std::string file = dir / name;
    TgmStorageRef root = TgmStorage::Create(file, kCreate);
    for (const auto& [path, data] : streams) {
      EXPECT_TRUE(StringToStream(data, *root->CreateStream(path, kCreate)));
    }
    return file;
  }

  std::string Sample() {
    return Make("sample.stg", {{"a.txt", "top"},
                               {"files/x.dll", "x"},
                               {"files/sub/y.dll", "y"},
                               {"files/sub/deep/z.dll", "z"}});
  }

  test::TempDir dir;
};

// --- Reference counts and chains --------------------------------------------

TEST_F(StorageTest, AStreamKeepsItsWholeChainOpenAndClosesItWhenItGoes) {
  std::string file = Sample();
  TgmStorageRef root = TgmStorage::Create(file, kRead);
  TgmStorage* rootObject = root.get();
  std::unique_ptr<TgmStgStream> stream = root->CreateStream("files/sub/deep/z.dll", kRead);

  TgmStorage* deep = stream->Storage();
  ASSERT_NE(deep, rootObject);
  EXPECT_EQ(TgmStorage::RefCount(deep), 1);                      // the stream's
  EXPECT_EQ(TgmStorage::RefCount(deep->Parent()), 1);            // sub: held by deep
  EXPECT_EQ(TgmStorage::RefCount(deep->Parent()->Parent()), 1);  // files: held by sub
  EXPECT_EQ(deep->Parent()->Parent()->Parent(), rootObject);
  EXPECT_EQ(TgmStorage::RefCount(rootObject), 2);  // the caller's and files'

  // The caller gives up the root; the stream still reads, and the file stays
  // locked against writers until the stream goes.
  FreeStorage(root);
  EXPECT_FALSE(root);
  EXPECT_EQ(TgmStorage::RefCount(rootObject), 1);
  std::string out;
  EXPECT_TRUE(StreamToString(*stream, out));
  EXPECT_EQ(out, "z");
  EXPECT_THROW(TgmStorage::Create(file, kReadWrite), EgmStorage);
  stream.reset();
  EXPECT_NO_THROW(TgmStorage::Create(file, kReadWrite));
}

TEST_F(StorageTest, ReleasingAStreamClosesTheLevelsItOpenedButNotTheRoot) {
  TgmStorageRef root = TgmStorage::Create(Sample(), kRead);
  root->CreateStream("files/sub/deep/z.dll", kRead).reset();
  EXPECT_EQ(TgmStorage::RefCount(root.get()), 1);
  // Nested levels are exclusive: they can only be opened again once closed.
  TgmStorageRef deep;
  EXPECT_TRUE(root->CreateStorage("files/sub/deep", kRead, &deep));
  EXPECT_EQ(TgmStorage::RefCount(root.get()), 2);
  deep.reset();
  EXPECT_EQ(TgmStorage::RefCount(root.get()), 1);
}

TEST_F(StorageTest, CreateStorageOfTheStorageItselfCountsOneMoreReference) {
  TgmStorageRef root = TgmStorage::Create(Sample(), kRead);
  for (const char* path : {"/", ".", "./"}) {
    TgmStorageRef same;
    EXPECT_TRUE(root->CreateStorage(path, kRead, &same));
    EXPECT_EQ(same.get(), root.get());
    EXPECT_EQ(TgmStorage::RefCount(root.get()), 2);
  }
  EXPECT_EQ(TgmStorage::RefCount(root.get()), 1);
  EXPECT_EQ(TgmStorage::RefCount(nullptr), 0);
  EXPECT_THROW(
      {
        TgmStorageRef none;
        root->CreateStorage("", kRead, &none);
      },
      EAssertionFailed);
}

TEST_F(StorageTest, FailedOpensReleaseEveryLevelTheyOpened) {
  TgmStorageRef root = TgmStorage::Create(Sample(), kRead);
  try {
    root->CreateStream("files/sub/missing/z.dll", kRead);
    FAIL();
  } catch (const EgmStorage& e) {
    EXPECT_EQ(e.Message().rfind("TgmStorage.MakeStgPath() (0x80030002) ", 0), 0u) << e.Message();
  }
  EXPECT_EQ(TgmStorage::RefCount(root.get()), 1);
  try {
    root->CreateStream("files/sub/missing.dll", kRead);
    FAIL();
  } catch (const EgmStorage& e) {
    EXPECT_EQ(e.Message().rfind("TgmStorage.CreateStream(missing.dll, 10) (0x80030002) ", 0), 0u)
        << e.Message();
  }
  EXPECT_EQ(TgmStorage::RefCount(root.get()), 1);
  TgmStorageRef none;
  try {
    root->CreateStorage("files/none/deeper", kRead, &none);
    FAIL();
  } catch (const EgmStorage& e) {
    EXPECT_EQ(e.Message().rfind("TgmStorage.CreateStorage() (0x80030002) ", 0), 0u) << e.Message();
  }
  EXPECT_FALSE(none);
  EXPECT_EQ(TgmStorage::RefCount(root.get()), 1);
  EXPECT_EQ(root->LastError(), stg::kStgEFileNotFound);
  // The storage stays usable.
  EXPECT_EQ(Content(*root, "files/x.dll"), "x");
}

// --- Paths and modes ----------------------------------------------------------

TEST_F(StorageTest, SeparatorsOfEitherKindInAnyNumberNameTheSameStream) {
  TgmStorageRef root = TgmStorage::Create(Sample(), kRead);
  for (const char* path : {"files//sub\\y.dll", "/files/sub/y.dll", "files/sub/y.dll/",
                           "\\FILES\\Sub\\Y.DLL", "files/./sub/y.dll"}) {
    EXPECT_EQ(Content(*root, path), "y") << path;
  }
  EXPECT_THROW(root->CreateStream("", kRead), EgmStorage);
  EXPECT_THROW(root->CreateStream("/", kRead), EgmStorage);
  EXPECT_THROW(root->CreateStream("\\//", kRead), EgmStorage);
}

TEST_F(StorageTest, NamesAreCutTo31CharactersExceptAOneComponentStreamName) {
  std::string s31(31, 's'), d31(31, 'd');
  TgmStorageRef root =
      TgmStorage::Create(Make("long.stg", {{d31 + "/" + s31, "deep"}, {s31, "top"}}), kRead);
  EXPECT_EQ(Content(*root, d31 + "XYZ/" + s31 + "XYZ"), "deep");
  EXPECT_EQ(Content(*root, "./" + s31 + "XYZ"), "top");
  EXPECT_EQ(Content(*root, s31), "top");
  try {
    root->CreateStream(s31 + "XYZ", kRead);
    FAIL();
  } catch (const EgmStorage& e) {
    EXPECT_NE(e.Message().find("CreateStream(" + s31 + "XYZ, 10)"), std::string::npos)
        << e.Message();
  }
  TgmStorageRef level;
  EXPECT_TRUE(root->CreateStorage(d31 + "-more", kRead, &level));
  EXPECT_EQ(level->GetName(), d31);
}

TEST_F(StorageTest, ModesAreAdjustedForNestedStoragesAndStreams) {
  TgmStorageRef root = TgmStorage::Create(Sample(), kRead);
  EXPECT_EQ(root->Mode(), kRead);
  TgmStorageRef files;
  root->CreateStorage("files", kRead, &files);
  EXPECT_EQ(files->Mode(), 0x10u);
  EXPECT_EQ(root->CreateStream("a.txt", kRead)->Mode(), 0x10u);

  TgmStorageRef created = TgmStorage::Create(dir / "new.stg", kCreate);
  TgmStorageRef sub;
  created->CreateStorage("sub", kCreate | 0x40000 | 0x4000000 | 0x40, &sub);
  EXPECT_EQ(sub->Mode(), 0x1012u);
  sub.reset();  // nested storages are exclusive
  auto stream = created->CreateStream("sub/s", kCreate | 0x10000 | 0x4000000 | 0x20);
  EXPECT_EQ(stream->Mode(), 0x1012u);
  EXPECT_EQ(stream->Storage()->Mode(), 0x1012u);  // the levels on the way use the stream's mode
}

// --- Existence tests and the name cache -------------------------------------

TEST_F(StorageTest, ElementExistsFollowsTheFixedRules) {
  std::string file = Sample();
  TgmStorageRef root = TgmStorage::Create(file, kRead);
  EXPECT_FALSE(root->ElementExists(""));
  EXPECT_TRUE(root->ElementExists("/"));
  EXPECT_TRUE(root->ElementExists("Files"));
  EXPECT_TRUE(root->ElementExists("\\A.TXT"));
  EXPECT_FALSE(root->ElementExists("b.txt"));
  // Deeper paths open their levels read-write, which a read-only root refuses.
  EXPECT_FALSE(root->ElementExists("files/x.dll"));
  TgmStorageRef files;
  root->CreateStorage("files", kRead, &files);
  EXPECT_FALSE(files->ElementExists("/"));
  EXPECT_TRUE(files->ElementExists("X.dll"));
  files.reset();
  root.reset();

  TgmStorageRef writable = TgmStorage::Create(file, kReadWrite);
  EXPECT_TRUE(writable->ElementExists("files/x.dll"));
  EXPECT_TRUE(writable->ElementExists("files/sub/deep/z.dll"));
  EXPECT_FALSE(writable->ElementExists("files/none/z.dll"));
  EXPECT_EQ(TgmStorage::RefCount(writable.get()), 1);
}

TEST_F(StorageTest, TheNameCacheFollowsEveryChangeMadeThroughTheStorage) {
  Make("dest.stg", {{"old.txt", "1"}});
  std::string source = Make("source.stg", {{"copied/c.txt", "c"}});
  TgmStorageRef root = TgmStorage::Create(dir / "dest.stg", kReadWrite);
  EXPECT_TRUE(root->ElementExists("old.txt"));  // fills the cache
  EXPECT_FALSE(root->ElementExists("new.txt"));
  root->CreateStream("new.txt", kCreate);
  EXPECT_TRUE(root->ElementExists("new.txt"));
  TgmStorageRef sub;
  root->CreateStorage("sub", kCreate, &sub);
  EXPECT_TRUE(root->ElementExists("sub"));
  EXPECT_TRUE(TgmStorage::Create(source, kRead)->CopyTo(root.get()));
  EXPECT_TRUE(root->ElementExists("copied"));
}

// --- Enumeration and listing --------------------------------------------------

TEST_F(StorageTest, EnumElementsFetchesInBatchesAndStopsWhenAsked) {
  for (int count : {0, 15, 16, 17, 32, 40}) {
    std::map<std::string, std::string> streams;
    for (int i = 0; i < count; ++i)
      streams[Format("s%02d", i)] = "";
    TgmStorageRef root = TgmStorage::Create(Make(Format("e%d.stg", count), streams), kRead);
    std::vector<std::string> seen;
    EXPECT_EQ(root->EnumElements([&](const stg::StatStg& e) {
      EXPECT_EQ(e.type, stg::kStgTyStream);
      seen.push_back(Utf16ToAnsi(e.name));
      return false;
    }),
              count);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen.size(), static_cast<size_t>(count));
    if (count > 5) {
      EXPECT_EQ(root->EnumElements([n = 0](const stg::StatStg&) mutable { return ++n == 5; }), 5);
    }
  }
}

TEST_F(StorageTest, ListStreamsGivesPathsRelativeToTheStorageItIsCalledOn) {
  TgmStorageRef root = TgmStorage::Create(Sample(), kRead);
  std::vector<std::string> list = {"kept"};
  root->ListStreams(list);
  std::sort(list.begin(), list.end());
  EXPECT_EQ(list, (std::vector<std::string>{"/a.txt", "files/sub/deep/z.dll", "files/sub/y.dll",
                                            "files/x.dll", "kept"}));

  TgmStorageRef files;
  root->CreateStorage("files", kRead, &files);
  list.clear();
  files->ListStreams(list);
  std::sort(list.begin(), list.end());
  EXPECT_EQ(list, (std::vector<std::string>{"sub/deep/z.dll", "sub/y.dll", "x.dll"}));
  EXPECT_EQ(files->GetName(), "files");
  EXPECT_EQ(TgmStorage::RefCount(root.get()), 2);  // the walk closed what it opened
}

// --- Copying ------------------------------------------------------------------

TEST_F(StorageTest, CopyToReplacesStreamsAndMergesStorages) {
  std::string source = Make("s.stg", {{"a/x", "new x"}, {"b", "new b"}});
  std::string target = Make("d.stg", {{"a/x", "old x"}, {"a/y", "old y"}, {"c", "old c"}});
  TgmStorage::Create(source, kRead)->CopyTo(TgmStorage::Create(target, kReadWrite).get());
  TgmStorageRef result = TgmStorage::Create(target, kRead);
  EXPECT_EQ(Content(*result, "a/x"), "new x");
  EXPECT_EQ(Content(*result, "a/y"), "old y");
  EXPECT_EQ(Content(*result, "b"), "new b");
  EXPECT_EQ(Content(*result, "c"), "old c");
}

// --- Extraction ---------------------------------------------------------------

TEST_F(StorageTest, ExtractAllRecreatesTheTreeInflatingMarkedStreams) {
  std::string text(100000, 'w');
  std::string plain = Compressed("x").substr(0, 15);  // too short to be marked
  std::string file = Make("tree.stg", {{A("корень.txt"), Compressed(text)},
                                       {"files/plain.bin", plain},
                                       {A("files/Папка/глубоко.txt"), Compressed("deep")}});
  TgmStorageRef root = TgmStorage::Create(file, kRead);
  std::vector<std::string> progress;
  int count = root->ExtractAll(
      dir / "out", [&](const std::string& path, const std::string& target, int index, int last) {
        progress.push_back(Format("%s|%s|%d|%d", path.c_str(), target.c_str(), index, last));
      });
  EXPECT_EQ(count, 3);
  EXPECT_EQ(test::ReadFile(dir / A("out/корень.txt")), text);
  EXPECT_EQ(test::ReadFile(dir / "out/files/plain.bin"), plain);
  EXPECT_EQ(test::ReadFile(dir / A("out/files/Папка/глубоко.txt")), "deep");
  ASSERT_EQ(progress.size(), 3u);
  std::sort(progress.begin(), progress.end());
  // "/корень.txt" sorts first; its index depends on the platform's order.
  std::string head = "/" + A("корень.txt") + "|" + (dir / A("out/корень.txt")) + "|";
  EXPECT_EQ(progress[0].substr(0, head.size()), head);
  EXPECT_EQ(progress[0].substr(progress[0].size() - 2), "|2");
  std::string indexes;
  for (const std::string& p : progress)
    indexes += p[p.size() - 3];
  std::sort(indexes.begin(), indexes.end());
  EXPECT_EQ(indexes, "123");
}

TEST_F(StorageTest, ExtractStreamBuildsTheFileNameAndReportsWhatFailed) {
  std::string damaged = Compressed(std::string(5000, 'd'));
  damaged.resize(damaged.size() - 10);
  std::string file = Make("x.stg", {{"files/sub/ok.txt", "ok"}, {"files/bad.txt", damaged}});
  TgmStorageRef root = TgmStorage::Create(file, kRead);

  EXPECT_TRUE(root->ExtractStream("files/sub/ok.txt", dir / "flat", false));
  EXPECT_EQ(test::ReadFile(dir / "flat/ok.txt"), "ok");
  EXPECT_TRUE(root->ExtractStream("files\\sub\\ok.txt", dir / "kept", true));
  EXPECT_EQ(test::ReadFile(dir / "kept/files/sub/ok.txt"), "ok");

  EXPECT_FALSE(root->ExtractStream("files/bad.txt", dir / "out", true));
  EXPECT_THROW(root->ExtractStream("files/none.txt", dir / "out", true), EgmStorage);
  EXPECT_FALSE(test::PathExists(dir / "out/files/none.txt"));
  // A folder that cannot be made: a file is in the way.
  test::WriteFile(dir / "blocked", "");
  EXPECT_FALSE(root->ExtractStreamToFile("files/sub/ok.txt", dir / "blocked/sub/ok.txt"));
}

TEST_F(StorageTest, ExtractionNeverWritesOutsideItsFolder) {
  // A name with ":" cannot be created here, but another writer may have put
  // one in: rename "qq" in the file's bytes.
  std::string file = Make("evil.stg", {{"../escaped.txt", "x"}, {"qq/x.txt", "x"}});
  std::string bytes = test::ReadFile(file);
  size_t at = bytes.find(std::string("q\0q\0\0\0", 6));
  ASSERT_NE(at, std::string::npos);
  bytes[at + 2] = ':';
  test::WriteFile(file, bytes);

  TgmStorageRef root = TgmStorage::Create(file, kRead);
  std::vector<std::string> list;
  root->ListStreams(list);
  std::sort(list.begin(), list.end());
  ASSERT_EQ(list, (std::vector<std::string>{"../escaped.txt", "q:/x.txt"}));
  EXPECT_THROW(root->ExtractAll(dir / "out/inner"), EgmStorage);
  EXPECT_THROW(root->ExtractStream("../escaped.txt", dir / "out", true), EgmStorage);
  EXPECT_THROW(root->ExtractStream("q:/x.txt", dir / "out", true), EgmStorage);
  EXPECT_FALSE(test::PathExists(dir / "out/escaped.txt"));
  EXPECT_FALSE(test::PathExists(dir / "out/q:"));
}

// --- Failures -----------------------------------------------------------------

TEST_F(StorageTest, FailuresToOpenOrCreateAFileCarryTheNameTheModeAndTheCode) {
  std::string missing = dir / A("нет.stg");
  try {
    TgmStorage::Create(missing, kRead);
    FAIL();
  } catch (const EgmStorage& e) {
    EXPECT_EQ(
        e.Message(),
        Format("TgmStorage.%s (0x80030002) %s",
               Format(A("Не могу открыть хранилище %s (32)").c_str(), missing.c_str()).c_str(),
               stg::HResultMessage(stg::kStgEFileNotFound).c_str()));
    EXPECT_STREQ(e.ClassName(), "EgmStorage");
  }
  try {
    TgmStorage::Create(dir / "no/such/folder.stg", kCreate);
    FAIL();
  } catch (const EgmStorage& e) {
    std::string expected = "TgmStorage." + A("Не могу создать хранилище ") +
                           (dir / "no/such/folder.stg") + " (4114) (0x";
    EXPECT_EQ(e.Message().rfind(expected, 0), 0u) << e.Message();
  }
}

TEST_F(StorageTest, StreamFailuresRaiseEgmStgStreamWithTheAdapterText) {
  TgmStorageRef root = TgmStorage::Create(Sample(), kRead);
  auto stream = root->CreateStream("a.txt", kRead);
  char buffer[8];
  EXPECT_EQ(stream->Read(buffer, 8), 3);
  EXPECT_EQ(stream->Read(buffer, 8), 0);  // the end is not an error
  EXPECT_EQ(stream->LastResult(), stg::kS_FALSE);
  try {
    stream->Write("x", 1);
    FAIL();
  } catch (const EgmStgStream& e) {
    stg::HRESULT code = stream->LastResult();
    EXPECT_NE(code, stg::kS_OK);
    EXPECT_EQ(e.Message(), Format("Write() failed (%d, 0x%X) %s", code, static_cast<uint32_t>(code),
                                  stg::HResultMessage(code).c_str()));
    EXPECT_STREQ(e.ClassName(), "EgmStgStream");
  }
}

TEST_F(StorageTest, StringToStreamTruncatesACompoundStream) {
  std::string file = Make("t.stg", {{"s", "0123456789"}});
  {
    TgmStorageRef root = TgmStorage::Create(file, kReadWrite);
    EXPECT_TRUE(StringToStream("abc", *root->CreateStream("s", kReadWrite)));
  }
  TgmStorageRef root = TgmStorage::Create(file, kRead);
  EXPECT_EQ(root->CreateStream("s", kRead)->Size(), 3);
  EXPECT_EQ(Content(*root, "s"), "abc");
}

}  // namespace
}  // namespace slv2
