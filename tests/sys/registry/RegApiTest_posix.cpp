// The Linux registry store: transactions, its database file, and processes
// sharing it.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "sys/RegTestSupport.h"
#include "sys/registry/RegStore.h"

namespace slv2::reg {
namespace {

class RegStoreTest : public ::testing::Test {
 protected:
  test::TempRegistry registry;

  static uint32_t Open(std::u16string_view path) {
    ScopedKey key;
    return OpenKey(kHkeyCurrentUser, path, kKeyRead, key.Out());
  }
};

// Several scripts under one commit: each is a transaction inside the
// caller's, whole or not at all within it.
TEST_F(RegStoreTest, ATransactionChangesAllOrNothingAndOneInsideAnotherIsPartOfIt) {
  for (bool outerCommits : {false, true}) {
    {
      Transaction outer;
      ASSERT_EQ(outer.Begin(), kErrorSuccess);
      {
        Transaction inner;
        ASSERT_EQ(inner.Begin(), kErrorSuccess);
        test::SetRegValue(kHkeyCurrentUser, u"Inner", u"v", kRegSz, "");
        // A failing call inside leaves the calls before it standing.
        HKey sub = 0;
        EXPECT_EQ(CreateKey(kHkeyCurrentUser, u"Kept\\\\Bad", kKeyRead, &sub), kErrorBadPathname);
        ASSERT_EQ(inner.Commit(), kErrorSuccess);
      }
      {
        Transaction dropped;
        ASSERT_EQ(dropped.Begin(), kErrorSuccess);
        test::SetRegValue(kHkeyCurrentUser, u"Dropped", u"v", kRegSz, "");
        EXPECT_EQ(Open(u"Dropped"), kErrorSuccess);
      }
      EXPECT_EQ(Open(u"Inner"), kErrorSuccess);
      EXPECT_EQ(Open(u"Dropped"), kErrorFileNotFound);
      if (outerCommits) {
        ASSERT_EQ(outer.Commit(), kErrorSuccess);
      }
    }
    EXPECT_EQ(Open(u"Inner"), outerCommits ? kErrorSuccess : kErrorFileNotFound);
  }
}

TEST_F(RegStoreTest, FindsOrCreatesItsDatabaseAsDocumented) {
  EXPECT_EQ(RegistryDatabasePath(), registry.DatabasePath());
  {
    const std::string empty, relative = "relative";  // neither counts
    test::ScopedEnv variable("SLV2_REGISTRY", empty), home("HOME", "/home/user"),
        state("XDG_STATE_HOME", "/state");
    bool root = ::geteuid() == 0;
    EXPECT_EQ(RegistryDatabasePath(),
              root ? "/var/lib/slv2update/registry.db" : "/state/slv2update/registry.db");
    test::SetEnv("XDG_STATE_HOME", &relative);
    if (!root) {
      EXPECT_EQ(RegistryDatabasePath(), "/home/user/.local/state/slv2update/registry.db");
    }
  }
  // A database in folders that do not exist yet is made with them.
  test::TempDir dir;
  {
    test::ScopedEnv elsewhere("SLV2_REGISTRY", dir / "a/b/registry.db");
    test::SetRegValue(kHkeyCurrentUser, u"Somewhere", u"v", kRegSz, "");
  }
  EXPECT_TRUE(test::PathExists(dir / "a/b/registry.db"));
  // Folders made for root's database are open to reading, a user's are private.
  struct stat st {};
  ASSERT_EQ(::stat(AnsiToUtf8(dir / "a/b").c_str(), &st), 0);
  mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(st.st_mode & 0777, (::geteuid() == 0 ? 0755u : 0700u) & ~mask);
  EXPECT_EQ(Open(u"Somewhere"), kErrorFileNotFound);
}

// Only a missing database is made: a file that is there and is no registry
// (emptied, overwritten) is refused and left as it is, so that a damaged
// registry is never taken for a machine with nothing installed.
TEST_F(RegStoreTest, AFileThatIsThereIsNeverMadeAnew) {
  test::TempDir dir;
  for (const char* content : {"", "registry of the family, surely"}) {
    SCOPED_TRACE(content);
    test::WriteFile(dir / "registry.db", content);
    uint32_t error = kErrorSuccess;
    EXPECT_EQ(RegStore::Open(dir / "registry.db", &error), nullptr);
    EXPECT_EQ(error, kErrorBadDb);
    EXPECT_EQ(test::ReadFile(dir / "registry.db"), content);
  }
  EXPECT_EQ(test::ListTree(dir.Path()), std::vector<std::string>{"registry.db"});
}

// Runs `work` in a child process, which exits with 0 when it returned true.
pid_t Spawn(const std::function<bool()>& work) {
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(work() ? 0 : 1);
  return pid;
}

std::string Pattern(int i, size_t size) {
  std::string data(size, static_cast<char>('a' + i % 26));
  return data.replace(0, std::to_string(i).size(), std::to_string(i));
}

std::u16string Name(int i) {
  return u"v" + AnsiToUtf16(std::to_string(i));
}

bool WriteValues(const std::u16string& key, int count, size_t size) {
  ScopedKey h;
  if (CreateKey(kHkeyLocalMachine, key, kKeyAllAccess, h.Out())) return false;
  for (int i = 0; i < count; ++i) {
    if (SetValue(h.Get(), Name(i), kRegBinary, Pattern(i, size))) return false;
  }
  return true;
}

// How many values v0, v1, ... the key holds in a row, each checked whole; -1
// when one is damaged or missing before a present one.
int CountWholeValues(const std::u16string& key, int limit, size_t size) {
  int present = 0;
  for (int i = 0; i < limit; ++i) {
    std::string data = test::ReadRegValue(kHkeyLocalMachine, key, Name(i));
    if (data == "<missing>") continue;
    if (present != i || data != Pattern(i, size)) return -1;
    ++present;
  }
  return present;
}

// Reading takes no write lock: while another process holds a write
// transaction, a new connection reads at once.
TEST_F(RegStoreTest, ADatabaseAnotherProcessWritesIsReadWithoutWaiting) {
  test::SetRegValue(kHkeyCurrentUser, u"Held", u"v", kRegSz, "");
  test::DatabaseWriter writer(registry.DatabasePath());
  ASSERT_TRUE(writer.Holding());
  {
    test::TempRegistry other;  // the connection moves away and back
    EXPECT_EQ(Open(u"Other"), kErrorFileNotFound);
  }
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Open(u"Held"), kErrorSuccess);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST_F(RegStoreTest, TwoProcessesWritingAtOnceLoseNothingInOrOutsideATransaction) {
  test::SetRegValue(kHkeyCurrentUser, u"Before", u"v", kRegSz, "");  // the parent's connection
  // One writes in a transaction of its own, the other call by call.
  pid_t a = Spawn([] {
    Transaction transaction;
    return transaction.Begin() == kErrorSuccess && WriteValues(u"Software\\Shared\\A", 150, 64) &&
           WriteValues(u"Software\\Shared\\Both", 150, 64) && transaction.Commit() == kErrorSuccess;
  });
  pid_t b = Spawn([] {
    return WriteValues(u"SOFTWARE\\shared\\B", 150, 64) &&
           WriteValues(u"Software\\Shared\\Both", 150, 64);
  });
  EXPECT_EQ(test::WaitProgram(a), 0);
  EXPECT_EQ(test::WaitProgram(b), 0);
  for (auto key : {u"Software\\Shared\\A", u"Software\\Shared\\B", u"Software\\Shared\\Both"})
    EXPECT_EQ(CountWholeValues(key, 150, 64), 150);
  ScopedKey shared;
  ASSERT_EQ(OpenKey(kHkeyLocalMachine, u"Software\\Shared", kKeyRead, shared.Out()), kErrorSuccess);
  EXPECT_EQ(test::Names(shared.Get()), (std::vector<std::u16string>{u"A", u"B", u"Both"}));
  EXPECT_EQ(test::IntegrityCheck(registry.DatabasePath()), "ok");
}

}  // namespace
}  // namespace slv2::reg
