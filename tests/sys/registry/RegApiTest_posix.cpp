// The Linux registry store: transactions, its database file, and processes
// sharing it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "TestSupport.h"
#include "sys/Cp1251.h"
#include "sys/WinError.h"
#include "sys/registry/RegAnsi.h"
#include "sys/registry/RegApi.h"
#include "sys/registry/RegStore.h"

namespace slv2::reg {
namespace {

class RegStoreTest : public ::testing::Test {
 protected:
  test::TempRegistry registry;

  HKey Create(std::u16string_view path, uint32_t access = kKeyAllAccess) {
    HKey key = 0;
    EXPECT_EQ(CreateKey(kHkeyCurrentUser, path, access, &key), kErrorSuccess);
    return key;
  }
  std::vector<std::u16string> SubKeys(HKey key) {
    std::vector<std::u16string> names;
    std::u16string name;
    for (uint32_t i = 0; EnumKey(key, i, &name) == kErrorSuccess; ++i)
      names.push_back(name);
    return names;
  }
  std::vector<std::u16string> ValueNames(HKey key) {
    std::vector<std::u16string> names;
    std::u16string name;
    uint32_t type;
    std::string data;
    for (uint32_t i = 0; EnumValue(key, i, &name, &type, &data) == kErrorSuccess; ++i) {
      names.push_back(name);
    }
    return names;
  }
};

TEST_F(RegStoreTest, ATransactionChangesAllOrNothing) {
  {
    Transaction transaction;
    ASSERT_EQ(transaction.Begin(), kErrorSuccess);
    Create(u"Dropped");
    // A failing call inside leaves the calls before it standing.
    HKey sub = 0;
    EXPECT_EQ(CreateKey(kHkeyCurrentUser, u"Kept\\\\Bad", kKeyRead, &sub), kErrorBadPathname);
  }
  HKey key = 0;
  EXPECT_EQ(OpenKey(kHkeyCurrentUser, u"Dropped", kKeyRead, &key), kErrorFileNotFound);
  Transaction transaction;
  ASSERT_EQ(transaction.Begin(), kErrorSuccess);
  Create(u"Committed");
  ASSERT_EQ(transaction.Commit(), kErrorSuccess);
  EXPECT_EQ(OpenKey(kHkeyCurrentUser, u"Committed", kKeyRead, &key), kErrorSuccess);
}

TEST_F(RegStoreTest, FindsItsDatabaseAsDocumented) {
  EXPECT_EQ(RegistryDatabasePath(), registry.DatabasePath());
  std::string saved = registry.DatabasePath();
  std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::unsetenv("SLV2_REGISTRY");
  ::setenv("XDG_STATE_HOME", "/state", 1);
  std::string withState = RegistryDatabasePath();
  ::setenv("XDG_STATE_HOME", "relative", 1);
  ::setenv("HOME", "/home/user", 1);
  std::string withHome = RegistryDatabasePath();
  ::unsetenv("XDG_STATE_HOME");
  ::setenv("HOME", home.c_str(), 1);
  ::setenv("SLV2_REGISTRY", saved.c_str(), 1);
  if (::geteuid() == 0) {
    EXPECT_EQ(withState, "/var/lib/slv2update/registry.db");
  } else {
    EXPECT_EQ(withState, "/state/slv2update/registry.db");
    EXPECT_EQ(withHome, "/home/user/.local/state/slv2update/registry.db");
  }
}

TEST_F(RegStoreTest, CreatesTheDatabaseAndItsFolders) {
  test::TempDir dir;
  std::string path = AnsiToUtf8(dir / "a/b/registry.db");
  ::setenv("SLV2_REGISTRY", path.c_str(), 1);
  Create(u"Somewhere");
  EXPECT_TRUE(test::PathExists(dir / "a/b/registry.db"));
  // The other database does not hold it.
  ::setenv("SLV2_REGISTRY", registry.DatabasePath().c_str(), 1);
  HKey key = 0;
  EXPECT_EQ(OpenKey(kHkeyCurrentUser, u"Somewhere", kKeyRead, &key), kErrorFileNotFound);
}

// Runs `work` in a child process; the child's exit status is 0 when it
// returned true.
pid_t Spawn(const std::function<bool()>& work) {
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(work() ? 0 : 1);
  return pid;
}

int WaitFor(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

std::string Pattern(int i, size_t size) {
  std::string data(size, static_cast<char>('a' + i % 26));
  data.replace(0, std::to_string(i).size(), std::to_string(i));
  return data;
}

class RegConcurrencyTest : public RegStoreTest {
 protected:
  // The database as SQLite itself sees it after the writers are gone.
  std::string IntegrityCheck() {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(registry.DatabasePath().c_str(), &db), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr);
    std::string result = sqlite3_step(stmt) == SQLITE_ROW
                             ? reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))
                             : "no answer";
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
  }

  static bool WriteValues(const std::u16string& key, int count, size_t size) {
    HKey h = 0;
    if (CreateKey(kHkeyLocalMachine, key, kKeyAllAccess, &h) != kErrorSuccess) return false;
    for (int i = 0; i < count; ++i) {
      if (SetValue(h, u"v" + AnsiToUtf16(std::to_string(i)), kRegBinary, Pattern(i, size))) {
        return false;
      }
    }
    return CloseKey(h) == kErrorSuccess;
  }

  // How many values v0, v1, ... the key holds in a row, each checked whole;
  // -1 when one is damaged or one is missing before a present one.
  static int CountWholeValues(const std::u16string& key, int limit, size_t size) {
    HKey h = 0;
    if (OpenKey(kHkeyLocalMachine, key, kKeyRead, &h) != kErrorSuccess) return 0;
    int present = 0;
    for (int i = 0; i < limit; ++i) {
      uint32_t type;
      std::string data;
      if (QueryValue(h, u"v" + AnsiToUtf16(std::to_string(i)), &type, &data) != kErrorSuccess) {
        continue;
      }
      if (present != i || data != Pattern(i, size)) return -1;
      ++present;
    }
    return present;
  }
};

TEST_F(RegConcurrencyTest, TwoProcessesWritingAtOnceLoseNothing) {
  Create(u"Before");  // the parent's connection is open while the children write
  pid_t a = Spawn([] {
    return WriteValues(u"Software\\Shared\\A", 150, 64) &&
           WriteValues(u"Software\\Shared\\Both", 150, 64);
  });
  pid_t b = Spawn([] {
    HKey h = 0;
    for (int i = 0; i < 150; ++i) {
      if (CreateKey(kHkeyLocalMachine, u"SOFTWARE\\shared\\B", kKeyAllAccess, &h) ||
          SetValue(h, u"w" + AnsiToUtf16(std::to_string(i)), kRegDword, "\1\0\0\0") ||
          CloseKey(h)) {
        return false;
      }
    }
    return WriteValues(u"Software\\Shared\\Both", 150, 64);
  });
  EXPECT_EQ(WaitFor(a), 0);
  EXPECT_EQ(WaitFor(b), 0);
  EXPECT_EQ(CountWholeValues(u"Software\\Shared\\A", 150, 64), 150);
  EXPECT_EQ(CountWholeValues(u"Software\\Shared\\Both", 150, 64), 150);
  HKey shared = 0;
  ASSERT_EQ(OpenKey(kHkeyLocalMachine, u"Software\\Shared", kKeyRead, &shared), kErrorSuccess);
  EXPECT_EQ(SubKeys(shared), (std::vector<std::u16string>{u"A", u"B", u"Both"}));
  HKey bKey = 0;
  ASSERT_EQ(OpenKey(shared, u"B", kKeyRead, &bKey), kErrorSuccess);
  EXPECT_EQ(ValueNames(bKey).size(), 150u);
  EXPECT_EQ(IntegrityCheck(), "ok");
}

TEST_F(RegConcurrencyTest, AProcessKilledInsideATransactionChangesNothing) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = Spawn([&] {
    Transaction transaction;
    if (transaction.Begin()) return false;
    if (!WriteValues(u"Software\\Half", 400, 4096)) return false;
    (void)!::write(ready[1], "x", 1);
    if (!WriteValues(u"Software\\Half", 800, 4096)) return false;
    ::pause();
    return true;
  });
  char c;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ::kill(child, SIGKILL);
  WaitFor(child);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_EQ(IntegrityCheck(), "ok");
  EXPECT_EQ(CountWholeValues(u"Software\\Half", 800, 4096), 0);
  // The registry goes on working.
  EXPECT_TRUE(WriteValues(u"Software\\Half", 3, 16));
}

TEST_F(RegConcurrencyTest, AProcessKilledWhileWritingLeavesOnlyWholeValues) {
  for (useconds_t delay : {0, 20000, 80000}) {
    uint32_t cleared = DeleteTree(kHkeyLocalMachine, u"Software");
    ASSERT_TRUE(cleared == kErrorSuccess || cleared == kErrorFileNotFound);
    pid_t child = Spawn([] { return WriteValues(u"Software\\Stream", 100000, 65536); });
    ::usleep(delay);
    ::kill(child, SIGKILL);
    WaitFor(child);
    EXPECT_EQ(IntegrityCheck(), "ok");
    EXPECT_GE(CountWholeValues(u"Software\\Stream", 100000, 65536), 0) << "delay " << delay;
  }
}

}  // namespace
}  // namespace slv2::reg
