#include <gmock/gmock.h>

#include "TestSupport.h"
#include "storage/UnpackLimits.h"
#include "storage/gmZLibUtil.h"
#include "sys/Format.h"

namespace slv2 {
namespace {

using test::A;
using testing::StartsWith;
using Paths = std::vector<std::string>;

constexpr uint32_t kRead = 0x20;       // how the updater opens everything it reads
constexpr uint32_t kReadWrite = 0x12;  // how it opens a compound file to merge into
constexpr uint32_t kCreate = 0x1012;

std::string Compressed(const std::string& data) {
  TMemoryStream source, out;
  source.WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  Compress(source, out, 9);
  return out.ToString();
}

// The message of the E that `f` raises; "" when it raises none.
template <class E = EgmStorage, class F>
std::string Raised(F f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return "";
}

class StorageTest : public ::testing::Test {
 protected:
  // A compound file holding the given streams (paths with "/").
  std::string Make(const std::string& name, const std::map<std::string, std::string>& streams) {
    TgmStorageRef root = TgmStorage::Create(dir / name, kCreate);
    for (const auto& [path, data] : streams) {
      EXPECT_TRUE(StringToStream(data, *root->CreateStream(path, kCreate)));
    }
    return dir / name;
  }

  std::string Sample() {
    return Make("sample.stg", {{"a.txt", "top"},
                               {"files/x.dll", "x"},
                               {"files/sub/y.dll", "y"},
                               {"files/sub/deep/z.dll", "z"}});
  }

  static std::string Content(TgmStorage& storage, const std::string& path) {
    std::string out;
    EXPECT_TRUE(StreamToString(*storage.CreateStream(path, kRead), out));
    return out;
  }

  test::TempDir dir;
};

// --- Opening by path ---------------------------------------------------------

TEST_F(StorageTest, FailuresSayWhatFailedAndLeaveTheStorageUsable) {
  TgmStorageRef root = TgmStorage::Create(Sample(), kRead), none;
  std::string missing = dir / A("нет.stg");
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { TgmStorage::Create(missing, kRead); },
       "TgmStorage." + A("Не могу открыть хранилище ") + missing + " (32) (0x80030002) " +
           stg::HResultMessage(stg::kStgEFileNotFound)},
      {[&] { TgmStorage::Create(dir / "no/such.stg", kCreate); },
       "TgmStorage." + A("Не могу создать хранилище ") + (dir / "no/such.stg") + " (4114) (0x"},
      {[&] { root->CreateStream("files/sub/none/z.dll", kRead); },
       "TgmStorage.MakeStgPath() (0x80030002) "},
      {[&] { root->CreateStream("files/sub/none.dll", kRead); },
       "TgmStorage.CreateStream(none.dll, 10) (0x80030002) "},
      {[&] { root->CreateStorage("files/none/deeper", kRead, &none); },
       "TgmStorage.CreateStorage() (0x80030002) "},
  };
  for (const auto& [action, message] : cases)
    EXPECT_THAT(Raised(action), StartsWith(message));
  EXPECT_FALSE(none);
  EXPECT_EQ(Content(*root, "files/x.dll"), "x");  // still usable
}

// --- Paths and modes ----------------------------------------------------------

// Separators of either kind in any number name the same element; names are
// cut to 31 characters, except a one-component stream name.
TEST_F(StorageTest, PathsNameElementsWhateverTheirSeparatorsAndLength) {
  std::string s31(31, 's'), d31(31, 'd');
  TgmStorageRef root = TgmStorage::Create(
      Make("long.stg", {{d31 + "/" + s31, "deep"}, {s31, "top"}, {"files/sub/y.dll", "y"}}), kRead);
  for (const char* path :
       {"files//sub\\y.dll", "/files/sub/y.dll", "files/sub/y.dll/", "files/./sub/y.dll"})
    EXPECT_EQ(Content(*root, path), "y") << path;
  for (const char* nothing : {"", "/", "\\//"})
    EXPECT_THROW(root->CreateStream(nothing, kRead), EgmStorage) << nothing;
  EXPECT_EQ(Content(*root, d31 + "XYZ/" + s31 + "XYZ"), "deep");
  EXPECT_THAT(Raised([&] { root->CreateStream(s31 + "XYZ", kRead); }),
              StartsWith("TgmStorage.CreateStream(" + s31 + "XYZ, 10) (0x"));
}

// --- Existence tests and the name cache -------------------------------------

TEST_F(StorageTest, ElementExistsFollowsTheFixedRulesAndEveryChange) {
  std::string file = Sample();
  TgmStorageRef root = TgmStorage::Create(file, kRead);
  EXPECT_FALSE(root->ElementExists(""));
  EXPECT_TRUE(root->ElementExists("/"));
  EXPECT_TRUE(root->ElementExists("\\A.TXT"));
  // The names are fetched 16 at a time: the 17th is in a second batch.
  std::map<std::string, std::string> many;
  for (int i = 0; i < 17; ++i)
    many[Format("s%02d", i)] = "";
  EXPECT_TRUE(TgmStorage::Create(Make("many.stg", many), kRead)->ElementExists("s16"));
  // Deeper paths open their levels read-write, which a read-only root refuses.
  EXPECT_FALSE(root->ElementExists("files/x.dll"));
  TgmStorageRef files;
  root->CreateStorage("files", kRead, &files);
  EXPECT_FALSE(files->ElementExists("/"));
  files.reset();
  root.reset();

  std::string source = Make("source.stg", {{"copied/c.txt", "c"}});
  TgmStorageRef writable = TgmStorage::Create(file, kReadWrite);
  EXPECT_TRUE(writable->ElementExists("files/sub/deep/z.dll"));
  // The names, once listed, follow every change made through the storage.
  EXPECT_FALSE(writable->ElementExists("new.txt"));
  writable->CreateStream("new.txt", kCreate);
  EXPECT_TRUE(writable->ElementExists("new.txt"));
  TgmStorageRef sub;
  writable->CreateStorage("sub", kCreate, &sub);
  EXPECT_TRUE(writable->ElementExists("sub"));
  EXPECT_TRUE(TgmStorage::Create(source, kRead)->CopyTo(writable.get()));
  EXPECT_TRUE(writable->ElementExists("copied"));
}

// --- Enumeration and listing --------------------------------------------------

TEST_F(StorageTest, WalksStoragesNestedUpToTheLimitAndRefusesDeeperOnesClearly) {
  std::string path;
  for (size_t i = 1; i < TgmStorage::kMaxDepth; ++i)
    path += "d/";
  Paths list;
  TgmStorage::Create(Make("deep.stg", {{path + "leaf", "x"}}), kRead)->ListStreams(list);
  EXPECT_EQ(list, Paths{path + "leaf"});
  TgmStorageRef deeper =
      TgmStorage::Create(Make("deeper.stg", {{"d/" + path + "leaf", "x"}}), kRead);
  EXPECT_THAT(Raised<EgmStorageTooDeep>([&] { deeper->ListStreams(list); }),
              StartsWith("TgmStorage.Walk(): storages nested deeper than 1024 levels in \"d\""));
}

// --- Extraction ---------------------------------------------------------------

TEST_F(StorageTest, ExtractionRecreatesTheTreeInflatingMarkedStreamsAndReportsWhatFailed) {
  std::string text(100000, 'w');
  std::string damaged = Compressed(std::string(5000, 'd'));
  damaged.resize(damaged.size() - 10);
  TgmStorageRef root =
      TgmStorage::Create(Make("tree.stg", {{A("корень.txt"), Compressed(text)},
                                           {A("files/Папка/глубоко.txt"), Compressed("deep")}}),
                         kRead);
  Paths streams, progress;
  std::map<std::string, std::string> targets;
  root->ListStreams(streams);
  auto report = [&](const std::string& path, const std::string& target, int index, int last) {
    progress.push_back(Format("%d/%d", index, last));
    targets[path] = target;
  };
  EXPECT_EQ(root->ExtractStreams(streams, dir / "out", report), 2);
  EXPECT_EQ(test::ReadFile(dir / A("out/корень.txt")), text);
  EXPECT_EQ(test::ReadFile(dir / A("out/files/Папка/глубоко.txt")), "deep");
  EXPECT_EQ(progress, (Paths{"1/1", "2/1"}));
  EXPECT_EQ(targets["/" + A("корень.txt")], dir / A("out/корень.txt"));
  EXPECT_TRUE(root->ExtractStream(A("files\\Папка\\глубоко.txt"), dir / "flat", false));
  EXPECT_EQ(test::ReadFile(dir / A("flat/глубоко.txt")), "deep");

  root = TgmStorage::Create(Make("x.stg", {{"ok.txt", "ok"}, {"files/bad.txt", damaged}}), kRead);
  EXPECT_FALSE(root->ExtractStream("files/bad.txt", dir / "out", true));
  EXPECT_THROW(root->ExtractStream("files/none.txt", dir / "out", true), EgmStorage);
  test::WriteFile(dir / "blocked", "");  // a file where a folder must go
  EXPECT_FALSE(root->ExtractStreamToFile("ok.txt", dir / "blocked/sub/ok.txt"));
}

TEST_F(StorageTest, ExtractionNeverWritesOutsideItsFolder) {
  // A name with ":" cannot be created here, but another writer may have put
  // one in: "qq" is renamed in the file's bytes.
  std::string file = Make("evil.stg", {{"../escaped.txt", "x"}, {"qq/x.txt", "x"}});
  std::string bytes = test::ReadFile(file);
  size_t at = bytes.find(std::string("q\0q\0\0\0", 6));
  ASSERT_NE(at, std::string::npos);
  bytes[at + 2] = ':';
  test::WriteFile(file, bytes);

  TgmStorageRef root = TgmStorage::Create(file, kRead);
  Paths list;
  root->ListStreams(list);
  ASSERT_THAT(list, testing::UnorderedElementsAreArray(Paths{"../escaped.txt", "q:/x.txt"}));
  EXPECT_THROW(root->ExtractStreams(list, dir / "out/inner"), EgmStorage);
  EXPECT_THROW(root->ExtractStream("q:/x.txt", dir / "out", true), EgmStorage);
  EXPECT_FALSE(test::PathExists(dir / "out/escaped.txt"));
  EXPECT_FALSE(test::PathExists(dir / "out/q:"));
}

// The caller gives up the root: the stream holds its chain of storages.
TEST_F(StorageTest, AStreamKeepsItsChainOpenReadsToTheEndAndRaisesEgmStgStream) {
  TgmStorageRef root = TgmStorage::Create(Make("t.stg", {{"d/s", "0123456789"}}), kRead);
  auto stream = root->CreateStream("d/s", kRead);
  root.reset();
  char buffer[16];
  EXPECT_EQ(stream->Read(buffer, 16), 10);
  EXPECT_EQ(stream->Read(buffer, 16), 0);  // the end is not an error
  EXPECT_EQ(stream->LastResult(), stg::kS_FALSE);
  std::string message = Raised<EgmStgStream>([&] { stream->Write("x", 1); });
  stg::HRESULT code = stream->LastResult();
  EXPECT_NE(code, stg::kS_OK);
  EXPECT_EQ(message, Format("Write() failed (%d, 0x%X) %s", code, static_cast<uint32_t>(code),
                            stg::HResultMessage(code).c_str()));
}

// --- Limits of unpacking -------------------------------------------------------

// A storage planted in a product folder is measured before anything of it
// is written: by its number of streams, and by what it would write (a
// compressed stream at the size its header states) against the free space.
TEST_F(StorageTest, UnpackingIsMeasuredAgainstTheLimitsBeforeAnythingIsWritten) {
  // A header stating 4 GiB - 1 before a few bytes of data (key byte 0).
  std::string huge = std::string("SlvZ") + std::string(4, '\xFF') + std::string(8, '\0') + "x";
  std::string plain = Make("plain.stg", {{"a.txt", "a"}, {"files/b.txt", "b"}});
  std::string bomb = Make("bomb.stg", {{"a.txt", huge}});
  uint64_t available = 0;
  ASSERT_TRUE(fs::GetDiskFreeSpace(dir.Path(), &available));
  // What keeps all but 1 GiB of the free space: 4 GiB stated cannot fit.
  TUnpackLimits tight{100, available > (uint64_t{1} << 30) ? available - (uint64_t{1} << 30) : 0};
  struct Case {
    const char* what;
    std::string file;
    std::string folder;
    TUnpackLimits limits;
    const char* raised;  // the start of the message; "" when it passes
  };
  const Case cases[] = {
      {"into a folder still to be made", plain, dir / "new/deeper", tight, ""},
      {"more streams than allowed", plain, dir / "out", {1, 0}, "2 streams, more than the 1"},
      {"a stated size past the free space", bomb, dir / "out", tight, "4294967295 bytes to write"},
      {"the reserve not kept", plain, dir / "out", {100, UINT64_MAX / 2}, "2 bytes to write"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TgmStorageRef root = TgmStorage::Create(c.file, kRead);
    Paths streams;
    root->ListStreams(streams);
    std::string message =
        Raised<EgmUnpackLimit>([&] { CheckUnpackLimits(*root, streams, c.folder, 0, c.limits); });
    EXPECT_THAT(message, StartsWith(c.raised));
    EXPECT_EQ(message.empty(), *c.raised == 0) << message;
  }
  EXPECT_FALSE(test::PathExists(dir / "out"));
}

}  // namespace
}  // namespace slv2
