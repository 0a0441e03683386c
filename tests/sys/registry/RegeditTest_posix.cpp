// The regedit program, run as the updater runs it.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <thread>

#include "TestSupport.h"
#include "sys/Cp1251.h"
#include "sys/WinError.h"
#include "sys/registry/RegAnsi.h"

extern char** environ;

namespace slv2::reg {
namespace {

using namespace std::string_literals;
using test::A;

std::string Unicode(std::u16string_view text) {
  return "\xFF\xFE" + StringDataFromUtf16(text);
}
std::string Sz(std::u16string_view text) {
  return StringDataFromUtf16(std::u16string(text) + u'\0');
}

// "path|name" -> kind and data, and "path" for every key.
using Tree = std::map<std::u16string, std::pair<uint32_t, std::string>>;

void Walk(HKey key, const std::u16string& path, Tree& tree) {
  tree[path] = {~0u, ""};
  std::u16string name;
  uint32_t type;
  std::string data;
  for (uint32_t i = 0; EnumValue(key, i, &name, &type, &data) == kErrorSuccess; ++i) {
    tree[path + u"|" + name] = {type, data};
  }
  for (uint32_t i = 0; EnumKey(key, i, &name) == kErrorSuccess; ++i) {
    ScopedKey sub;
    ASSERT_EQ(OpenKey(key, name, kKeyRead, sub.Out()), kErrorSuccess);
    Walk(sub.Get(), path + u"\\" + name, tree);
  }
}

Tree Dump(HKey root, std::u16string_view key) {
  Tree tree;
  ScopedKey h;
  if (OpenKey(root, key, kKeyRead, h.Out()) == kErrorSuccess) Walk(h.Get(), u"", tree);
  return tree;
}

struct RunResult {
  int status;
  std::string out, err;
};

class RegeditTest : public ::testing::Test {
 protected:
  test::TempRegistry registry;
  test::TempDir dir;

  static std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
      quoted += c == '\'' ? "'\\''" : std::string(1, c);
    return quoted + "'";
  }

  // Runs regedit with UTF-8 arguments.
  RunResult Regedit(const std::vector<std::string>& args) {
    std::string command = Quote(test::BinDir() + "/regedit");
    for (const std::string& arg : args)
      command += " " + Quote(arg);
    std::string out = AnsiToUtf8(dir / "stdout"), err = AnsiToUtf8(dir / "stderr");
    int status = std::system((command + " >" + Quote(out) + " 2>" + Quote(err)).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadFile(dir / "stdout"),
            test::ReadFile(dir / "stderr")};
  }

  std::string Script(const std::string& name, const std::string& bytes) {
    test::WriteFile(dir / name, bytes);
    return AnsiToUtf8(dir / name);
  }

  std::string Read(HKey root, std::u16string_view key, std::u16string_view name) {
    ScopedKey h;
    uint32_t type;
    std::string data;
    if (OpenKey(root, key, kKeyRead, h.Out()) || QueryValue(h.Get(), name, &type, &data)) {
      return "<missing>";
    }
    return data;
  }
};

TEST_F(RegeditTest, ImportsBothScriptFormats) {
  std::string unicode =
      Script("unicode.reg", Unicode(u"Windows Registry Editor Version 5.00\r\n\r\n"
                                    u"[HKEY_LOCAL_MACHINE\\Software\\Zarvik\\中文]\r\n"
                                    u"\"名\"=\"значение\"\r\n"
                                    u"\"n\"=dword:00000010\r\n"
                                    u"\"x\"=hex(2):25,00,41,00,25,00,00,00\r\n"
                                    u"\"b\"=hex:01,\\\r\n"
                                    u"  02\r\n"));
  std::string ansi =
      Script(A("скрипт.reg"), "REGEDIT4\r\n\r\n[HKCU\\Software\\" + A("Ключ") + "]\r\n@=\"" +
                                  A("текст") + "\"\r\n\"m\"=hex(7):" + "e0,00,00\r\n");
  RunResult first = Regedit({"/s", unicode});
  RunResult second = Regedit({"/S", ansi});
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(first.err + second.err, "");
  EXPECT_EQ(Read(kHkeyLocalMachine, u"software\\zarvik\\中文", u"名"), Sz(u"значение"));
  EXPECT_EQ(Read(kHkeyLocalMachine, u"Software\\Zarvik\\中文", u"n"), "\x10\0\0\0"s);
  EXPECT_EQ(Read(kHkeyLocalMachine, u"Software\\Zarvik\\中文", u"x"), Sz(u"%A%"));
  EXPECT_EQ(Read(kHkeyLocalMachine, u"Software\\Zarvik\\中文", u"b"), "\x01\x02");
  EXPECT_EQ(Read(kHkeyCurrentUser, u"Software\\КЛЮЧ", u""), Sz(u"текст"));
  EXPECT_EQ(Read(kHkeyCurrentUser, u"Software\\Ключ", u"m"), StringDataFromUtf16(u"а\0\0"s));
}

TEST_F(RegeditTest, SkipsInvalidLinesWithAWarningAndImportsTheRest) {
  std::string file = Script("warn.reg",
                            "REGEDIT4\n"
                            "[HKEY_CURRENT_USER\\W]\n"
                            "\"a\"=\"1\"\n"
                            "\"b\"=dword:xyz\n"
                            "\"c\"=\"3\"\n"
                            "[HKEY_CURRENT_CONFIG\\NotHeld]\n"
                            "\"d\"=hex:01,0\\\n"
                            "  2\n");
  RunResult run = Regedit({"/s", file});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find(file + ":4: "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(file + ":6: "), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
  EXPECT_EQ(Read(kHkeyCurrentUser, u"W", u"a"), Sz(u"1"));
  EXPECT_EQ(Read(kHkeyCurrentUser, u"W", u"b"), "<missing>");
  EXPECT_EQ(Read(kHkeyCurrentUser, u"W", u"c"), Sz(u"3"));
}

TEST_F(RegeditTest, ImportsNothingAndFailsForWhatIsNotAScript) {
  std::string plain = Script("plain.reg", "[HKEY_CURRENT_USER\\Plain]\r\n\"a\"=\"b\"\r\n");
  RunResult headerless = Regedit({"/s", plain});
  EXPECT_NE(headerless.status, 0);
  EXPECT_NE(headerless.err.find("not a registry script"), std::string::npos);
  EXPECT_EQ(Read(kHkeyCurrentUser, u"Plain", u"a"), "<missing>");
  EXPECT_NE(Regedit({"/s", AnsiToUtf8(dir / "missing.reg")}).status, 0);
  EXPECT_NE(Regedit({"/s", AnsiToUtf8(dir.Path())}).status, 0);
  std::string goodScript = Script("good.reg", "REGEDIT4\n[HKEY_CURRENT_USER\\Good]\n");
  EXPECT_NE(Regedit({"/s", goodScript, plain}).status, 0);
  // The good script of the two is imported all the same.
  ScopedKey good;
  EXPECT_EQ(OpenKey(kHkeyCurrentUser, u"Good", kKeyRead, good.Out()), kErrorSuccess);
}

TEST_F(RegeditTest, PrintsItsUsage) {
  RunResult help = Regedit({"/?"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("regedit /s FILE"), std::string::npos);
  RunResult none = Regedit({});
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.err.find("regedit /e FILE [KEY]"), std::string::npos);
  EXPECT_EQ(Regedit({"/x", "file"}).status, 2);
}

TEST_F(RegeditTest, AnExportImportsBackToTheSameTree) {
  struct Value {
    std::u16string key, name;
    uint32_t type;
    std::string data;
  };
  std::vector<Value> values = {
      {u"Tree", u"", kRegSz, Sz(u"default")},
      {u"Tree", u"quote\"back\\slash", kRegSz, Sz(u"C:\\\"x\"\\")},
      {u"Tree", u"unterminated", kRegSz, "ab"},
      {u"Tree", u"two lines", kRegSz, Sz(u"a\r\nb")},
      {u"Tree", u"odd", kRegSz, "abc"},
      {u"Tree\\Kinds", u"none", kRegNone, ""},
      {u"Tree\\Kinds", u"expand", kRegExpandSz, Sz(u"%PATH%")},
      {u"Tree\\Kinds", u"binary", kRegBinary, std::string(100, '\x5A')},
      {u"Tree\\Kinds", u"dword", kRegDword, "\xFF\xFF\xFF\xFF"},
      {u"Tree\\Kinds", u"short dword", kRegDword, "\x01"},
      {u"Tree\\Kinds", u"big endian", kRegDwordBigEndian, "\0\0\0\x01"s},
      {u"Tree\\Kinds", u"link", kRegLink, Sz(u"\\Registry\\Machine")},
      {u"Tree\\Kinds", u"multi", kRegMultiSz, StringDataFromUtf16(u"a\0中\0\0"s)},
      {u"Tree\\Kinds", u"resources", kRegResourceList, "\x01\x02"},
      {u"Tree\\Kinds", u"descriptor", kRegFullResourceDescriptor, "\x03"},
      {u"Tree\\Kinds", u"requirements", kRegResourceRequirementsList, "\x04"},
      {u"Tree\\Kinds", u"qword", kRegQword, "\1\2\3\4\5\6\7\x08"},
      {u"Tree\\Kinds", u"private", 0x12345, "\0"s},
      {u"Tree\\Имя 中", u"значение", kRegSz, Sz(u"текст 中")},
      {u"Tree\\Empty\\Deeper", u"", kRegBinary, ""},
  };
  for (const Value& v : values) {
    ScopedKey h;
    ASSERT_EQ(CreateKey(kHkeyCurrentUser, v.key, kKeyAllAccess, h.Out()), kErrorSuccess);
    ASSERT_EQ(SetValue(h.Get(), v.name, v.type, v.data), kErrorSuccess);
  }
  Tree before = Dump(kHkeyCurrentUser, u"Tree");
  std::string file = AnsiToUtf8(dir / A("экспорт.reg"));
  RunResult exported = Regedit({"/e", file, "HKCU\\Tree"});
  ASSERT_EQ(exported.status, 0) << exported.err;
  ASSERT_EQ(DeleteTree(kHkeyCurrentUser, u"Tree"), kErrorSuccess);
  RunResult imported = Regedit({"/s", file});
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(imported.err, "");
  EXPECT_EQ(Dump(kHkeyCurrentUser, u"Tree"), before);

  // The whole registry, when no key is named.
  RunResult all = Regedit({"/e", file});
  ASSERT_EQ(all.status, 0) << all.err;
  std::string bytes = test::ReadFile(dir / A("экспорт.reg"));
  std::u16string text = StringDataToUtf16(bytes.substr(2));
  for (auto key : {u"\r\n[HKEY_LOCAL_MACHINE]\r\n", u"\r\n[HKEY_CURRENT_USER\\Tree\\Kinds]\r\n",
                   u"\r\n[HKEY_CLASSES_ROOT]\r\n", u"\r\n[HKEY_USERS]\r\n"}) {
    EXPECT_NE(text.find(key), std::u16string::npos);
  }
  EXPECT_NE(Regedit({"/e", file, "HKCU\\Missing"}).status, 0);
  EXPECT_NE(Regedit({"/e", file, "NOWHERE\\Tree"}).status, 0);
}

pid_t StartRegedit(const std::vector<std::string>& args) {
  std::string program = test::BinDir() + "/regedit";
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  EXPECT_EQ(::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ), 0);
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

uint32_t ValueCount(std::u16string_view key) {
  ScopedKey h;
  uint32_t subKeys = 0, values = 0;
  if (OpenKey(kHkeyLocalMachine, key, kKeyRead, h.Out()) != kErrorSuccess) return 0;
  EXPECT_EQ(QueryInfoKey(h.Get(), &subKeys, &values), kErrorSuccess);
  return values;
}

std::string BigScript(const std::string& key, int count) {
  std::string text = "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\" + key + "]\r\n";
  std::string bytes = "00";
  for (int i = 1; i < 200; ++i)
    bytes += ",5a";
  for (int i = 0; i < count; ++i)
    text += "\"v" + std::to_string(i) + "\"=hex:" + bytes + "\r\n";
  return text;
}

TEST_F(RegeditTest, AKilledImportLeavesAllOrNothing) {
  std::string file = Script("big.reg", BigScript("Big", 20000));
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Wait(StartRegedit({"/s", file})), 0);
  auto whole = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(ValueCount(u"Big"), 20000u);
  // Kills spread over the time a whole import takes.
  for (int quarter = 0; quarter < 4; ++quarter) {
    uint32_t cleared = DeleteTree(kHkeyLocalMachine, u"Big");
    ASSERT_TRUE(cleared == kErrorSuccess || cleared == kErrorFileNotFound);
    pid_t pid = StartRegedit({"/s", file});
    std::this_thread::sleep_for(whole * quarter / 4);
    ::kill(pid, SIGKILL);
    Wait(pid);
    uint32_t count = ValueCount(u"Big");
    EXPECT_TRUE(count == 0 || count == 20000) << count << " values after " << quarter << "/4";
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(registry.DatabasePath().c_str(), &db), SQLITE_OK);
  char* answer = nullptr;
  sqlite3_exec(
      db, "PRAGMA integrity_check",
      [](void* out, int, char** row, char**) {
        *static_cast<char**>(out) = sqlite3_mprintf("%s", row[0]);
        return 0;
      },
      &answer, nullptr);
  EXPECT_STREQ(answer, "ok");
  sqlite3_free(answer);
  sqlite3_close(db);
}

TEST_F(RegeditTest, ImportsRunningAtOnceBothLand) {
  std::string a = Script("a.reg", BigScript("A", 3000));
  std::string b = Script("b.reg", BigScript("B", 3000));
  pid_t first = StartRegedit({"/s", a});
  pid_t second = StartRegedit({"/s", b});
  EXPECT_EQ(Wait(first), 0);
  EXPECT_EQ(Wait(second), 0);
  EXPECT_EQ(ValueCount(u"A"), 3000u);
  EXPECT_EQ(ValueCount(u"B"), 3000u);
}

}  // namespace
}  // namespace slv2::reg
