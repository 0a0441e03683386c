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

using test::A;

std::string Utf16Data(std::u16string_view text) {
  return StringDataFromUtf16(text);
}

class RegApiTest : public ::testing::Test {
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
    uint32_t rc;
    for (uint32_t i = 0; (rc = EnumKey(key, i, &name)) == kErrorSuccess; ++i)
      names.push_back(name);
    EXPECT_EQ(rc, kErrorNoMoreItems);
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

TEST_F(RegApiTest, NamesCompareIgnoringCaseAndKeepTheCaseTheyWereCreatedWith) {
  HKey key = Create(u"Software\\Zarvik\\Ключ");
  HKey same = 0;
  ASSERT_EQ(OpenKey(kHkeyCurrentUser, u"SOFTWARE\\zarvik\\КЛЮЧ\\", kKeyAllAccess, &same),
            kErrorSuccess);
  HKey software = 0;
  ASSERT_EQ(OpenKey(kHkeyCurrentUser, u"software", kKeyRead, &software), kErrorSuccess);
  EXPECT_EQ(SubKeys(software), std::vector<std::u16string>{u"Zarvik"});

  ASSERT_EQ(SetValue(key, u"Имя", kRegDword, "\x01\0\0\0"), kErrorSuccess);
  ASSERT_EQ(SetValue(key, u"second", kRegNone, ""), kErrorSuccess);
  // Replacing through another spelling keeps the first name and its place.
  ASSERT_EQ(SetValue(same, u"иМЯ", kRegBinary, "xy"), kErrorSuccess);
  EXPECT_EQ(ValueNames(key), (std::vector<std::u16string>{u"Имя", u"second"}));
  uint32_t type;
  std::string data;
  ASSERT_EQ(QueryValue(key, u"ИМЯ", &type, &data), kErrorSuccess);
  EXPECT_EQ(type, kRegBinary);
  EXPECT_EQ(data, "xy");
  // Creating an existing key under another spelling opens it.
  bool created = true;
  HKey again = 0;
  ASSERT_EQ(CreateKey(kHkeyCurrentUser, u"software\\ZARVIK\\ключ", kKeyRead, &again, &created),
            kErrorSuccess);
  EXPECT_FALSE(created);
  EXPECT_EQ(ValueNames(again).size(), 2u);
}

TEST_F(RegApiTest, ListsSubkeysByNameAndValuesInCreationOrder) {
  HKey key = Create(u"List");
  for (auto name : {u"b", u"A", u"Я", u"c", u"а"}) {
    HKey sub = 0;
    ASSERT_EQ(CreateKey(key, name, kKeyAllAccess, &sub), kErrorSuccess);
    CloseKey(sub);
  }
  EXPECT_EQ(SubKeys(key), (std::vector<std::u16string>{u"A", u"b", u"c", u"а", u"Я"}));
  for (auto name : {u"z", u"", u"m"})
    ASSERT_EQ(SetValue(key, name, kRegSz, ""), kErrorSuccess);
  ASSERT_EQ(DeleteValue(key, u""), kErrorSuccess);
  ASSERT_EQ(SetValue(key, u"", kRegSz, ""), kErrorSuccess);
  EXPECT_EQ(ValueNames(key), (std::vector<std::u16string>{u"z", u"m", u""}));
  uint32_t subKeys = 0, values = 0;
  ASSERT_EQ(QueryInfoKey(key, &subKeys, &values), kErrorSuccess);
  EXPECT_EQ(subKeys, 5u);
  EXPECT_EQ(values, 3u);
}

TEST_F(RegApiTest, KeepsEveryKindAndItsBytesExactly) {
  HKey key = Create(u"Kinds");
  std::string bytes("\0\x01\xFF\x80text\0", 9);
  for (uint32_t type : std::initializer_list<uint32_t>{
           kRegNone, kRegSz, kRegExpandSz, kRegBinary, kRegDword, kRegDwordBigEndian, kRegLink,
           kRegMultiSz, kRegResourceList, kRegFullResourceDescriptor, kRegResourceRequirementsList,
           kRegQword, 0x12345u}) {
    std::u16string name = u"v" + AnsiToUtf16(std::to_string(type));
    ASSERT_EQ(SetValue(key, name, type, bytes + static_cast<char>(type)), kErrorSuccess);
    uint32_t read;
    std::string data;
    ASSERT_EQ(QueryValue(key, name, &read, &data), kErrorSuccess);
    EXPECT_EQ(read, type);
    EXPECT_EQ(data, bytes + static_cast<char>(type));
  }
  ASSERT_EQ(SetValue(key, u"empty", kRegBinary, ""), kErrorSuccess);
  uint32_t type;
  std::string data = "x";
  ASSERT_EQ(QueryValue(key, u"empty", &type, &data), kErrorSuccess);
  EXPECT_EQ(data, "");
  EXPECT_EQ(QueryValue(key, u"missing", &type, &data), kErrorFileNotFound);
  EXPECT_EQ(DeleteValue(key, u"missing"), kErrorFileNotFound);
}

TEST_F(RegApiTest, SingleByteCallsConvertTextKindsSoBothFlavoursReadTheSame) {
  HKey key = Create(u"Text");
  ASSERT_EQ(SetValueA(key, A("Путь"), kRegSz, A("C:\\Программы") + '\0'), kErrorSuccess);
  uint32_t type;
  std::string data;
  ASSERT_EQ(QueryValue(key, u"путь", &type, &data), kErrorSuccess);
  EXPECT_EQ(data, Utf16Data(std::u16string(u"C:\\Программы") + u'\0'));

  std::u16string multi = std::u16string(u"один\0二\0\0", 8);
  ASSERT_EQ(SetValue(key, u"multi", kRegMultiSz, Utf16Data(multi)), kErrorSuccess);
  ASSERT_EQ(QueryValueA(key, "MULTI", &type, &data), kErrorSuccess);
  EXPECT_EQ(data, A("один") + std::string("\0?\0\0", 4));

  ASSERT_EQ(SetValueA(key, "bin", kRegBinary, A("ж")), kErrorSuccess);
  ASSERT_EQ(QueryValue(key, u"bin", &type, &data), kErrorSuccess);
  EXPECT_EQ(data, A("ж"));
  std::string name;
  ASSERT_EQ(EnumValueA(key, 0, &name), kErrorSuccess);
  EXPECT_EQ(name, A("Путь"));
}

TEST_F(RegApiTest, RefusesWhatWindowsRefuses) {
  HKey readOnly = Create(u"Guarded", kKeyRead);
  EXPECT_EQ(SetValue(readOnly, u"v", kRegSz, ""), kErrorAccessDenied);
  HKey sub = 0;
  EXPECT_EQ(CreateKey(readOnly, u"New", kKeyAllAccess, &sub), kErrorAccessDenied);
  HKey parent = Create(u"Parent\\Child");
  EXPECT_EQ(DeleteKey(kHkeyCurrentUser, u"Parent"), kErrorAccessDenied);
  EXPECT_EQ(DeleteKey(kHkeyCurrentUser, u""), kErrorAccessDenied);
  EXPECT_EQ(DeleteKey(kHkeyCurrentUser, u"Nothing"), kErrorFileNotFound);
  EXPECT_EQ(OpenKey(kHkeyCurrentUser, u"Parent\\\\Child", kKeyRead, &sub), kErrorBadPathname);
  EXPECT_EQ(CreateKey(kHkeyCurrentUser, std::u16string(256, u'k'), kKeyRead, &sub),
            kErrorInvalidParameter);
  EXPECT_EQ(SetValue(parent, std::u16string(16384, u'v'), kRegSz, ""), kErrorInvalidParameter);
  EXPECT_EQ(OpenKey(kHkeyCurrentConfig, u"", kKeyRead, &sub), kErrorInvalidHandle);
  EXPECT_EQ(OpenKey(0x1234, u"", kKeyRead, &sub), kErrorInvalidHandle);
  EXPECT_EQ(CloseKey(0x1234), kErrorInvalidHandle);
}

TEST_F(RegApiTest, DeletingATreeInvalidatesItsOpenHandles) {
  HKey child = Create(u"Tree\\Child\\Leaf");
  ASSERT_EQ(SetValue(child, u"v", kRegSz, "x"), kErrorSuccess);
  ASSERT_EQ(DeleteTree(kHkeyCurrentUser, u"tree"), kErrorSuccess);
  uint32_t type;
  std::string data;
  EXPECT_EQ(QueryValue(child, u"v", &type, &data), kErrorKeyDeleted);
  EXPECT_EQ(SetValue(child, u"v", kRegSz, "x"), kErrorKeyDeleted);
  // A new key of the same name is another key.
  Create(u"Tree\\Child\\Leaf");
  EXPECT_EQ(QueryValue(child, u"v", &type, &data), kErrorKeyDeleted);
  EXPECT_EQ(CloseKey(child), kErrorSuccess);
}

TEST_F(RegApiTest, ATransactionChangesAllOrNothing) {
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

TEST_F(RegApiTest, FindsItsDatabaseAsDocumented) {
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

TEST_F(RegApiTest, CreatesTheDatabaseAndItsFolders) {
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

class RegConcurrencyTest : public RegApiTest {
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
