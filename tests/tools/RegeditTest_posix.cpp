// The regedit program, run as the updater and the administrator run it.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "sys/RegTestSupport.h"
#include "tools/ToolRun.h"

namespace slv2::reg {
namespace {

using test::A;
using test::ReadRegValue;
using test::Sz;

class RegeditTest : public test::ToolTest {
 protected:
  test::TempRegistry registry;

  test::ToolRun Regedit(const std::vector<std::string>& args) { return Run(args, "regedit"); }

  std::string Script(const std::string& name, const std::string& bytes) {
    test::WriteFile(dir / name, bytes);
    return dir / name;
  }
};

// The scripts' syntax is the parser's; the program adds the files of a run,
// its messages and its exit status.
TEST_F(RegeditTest, ImportsEveryScriptOfARunWarnsOfInvalidLinesAndFailsForWhatIsNotAScript) {
  std::string ansi = Script(A("скрипт.reg"), "REGEDIT4\n[HKCU\\" + A("Ключ") + "]\n@=\"" +
                                                 A("текст") + "\"\n\"b\"=dword:xyz\n");
  std::string plain = Script("plain.reg", "[HKEY_CURRENT_USER\\Plain]\r\n\"a\"=\"b\"\r\n");
  test::ToolRun run = Regedit({"/S", plain, ansi, Script("empty.reg", ""), dir / "missing.reg"});
  EXPECT_NE(run.status, 0);
  std::string err = run.Text();
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 4) << err;
  EXPECT_NE(err.find(ansi + ":4: "), std::string::npos) << err;
  EXPECT_NE(err.find("not a registry script"), std::string::npos) << err;
  EXPECT_EQ(ReadRegValue(kHkeyCurrentUser, u"КЛЮЧ", u""), Sz(u"текст"));
  EXPECT_EQ(ReadRegValue(kHkeyCurrentUser, u"Plain", u"a"), "<missing>");
}

TEST_F(RegeditTest, AnExportImportsBackToTheSameTree) {
  struct Value {
    std::u16string key, name;
    uint32_t type;
    std::string data;
  };
  // One value of each form an export writes.
  const Value values[] = {
      {u"Tree", u"", kRegSz, Sz(u"default")},
      {u"Tree", u"quote\"back\\slash", kRegSz, Sz(u"C:\\\"x\"\\")},
      {u"Tree", u"unterminated", kRegSz, "ab"},
      {u"Tree\\Kinds", u"none", kRegNone, ""},
      {u"Tree\\Kinds", u"binary", kRegBinary, std::string(100, '\x5A')},
      {u"Tree\\Kinds", u"dword", kRegDword, "\xFF\xFF\xFF\xFF"},
      {u"Tree\\Kinds", u"qword", kRegQword, "\1\2\3\4\5\6\7\x08"},
      {u"Tree\\Имя 中", u"значение", kRegSz, Sz(u"текст 中")},
      {u"Tree\\Empty\\Deeper", u"", kRegBinary, ""},
  };
  for (const Value& v : values)
    test::SetRegValue(kHkeyCurrentUser, v.key, v.name, v.type, v.data);
  test::KeyTree before = test::DumpRegKey(kHkeyCurrentUser, "Tree");
  std::string file = dir / A("экспорт.reg");
  test::ToolRun exported = Regedit({"/e", file, "HKCU\\Tree"});
  ASSERT_EQ(exported.status, 0) << exported.err;
  ASSERT_EQ(DeleteTree(kHkeyCurrentUser, u"Tree"), kErrorSuccess);
  test::ToolRun imported = Regedit({"/s", file});
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(imported.err, "");
  EXPECT_EQ(test::DumpRegKey(kHkeyCurrentUser, "Tree"), before);
  // The dump names keys in program text; a name beyond it, exactly.
  EXPECT_EQ(ReadRegValue(kHkeyCurrentUser, u"Tree\\Имя 中", u"значение"), Sz(u"текст 中"));

  // The whole registry, when no key is named.
  ASSERT_EQ(Regedit({"/e", file}).status, 0);
  std::u16string text = StringDataToUtf16(test::ReadFile(file).substr(2));
  for (auto key : {u"\r\n[HKEY_LOCAL_MACHINE]\r\n", u"\r\n[HKEY_CURRENT_USER\\Tree\\Kinds]\r\n",
                   u"\r\n[HKEY_CLASSES_ROOT]\r\n", u"\r\n[HKEY_USERS]\r\n"}) {
    EXPECT_NE(text.find(key), std::u16string::npos);
  }
  EXPECT_EQ(test::ListTree(dir.Path()),
            (std::vector<std::string>{"stderr", "stdout", A("экспорт.reg")}));
}

TEST_F(RegeditTest, CommandLinesItRefusesGiveTheirStatusAndUsage) {
  const struct {
    std::vector<std::string> args;
    int status;
    std::string said;  // on the standard output for status 0, else on the error output
  } cases[] = {
      {{"/?"}, 0, "regedit /s FILE"},
      {{}, 2, "regedit /e FILE [KEY]"},
      {{"/x", "file"}, 2, "usage"},
      {{"/e"}, 2, "usage"},
      {{"/e", "a.reg", "HKCU", "extra"}, 2, "usage"},
      {{"/s", dir.Path()}, 1, "regedit: "},
      {{"/e", dir / "x.reg", "HKCU\\Missing"}, 1, "not exported"},
      {{"/e", dir / "x.reg", "NOWHERE\\Tree"}, 1, "does not begin with a root key"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    test::ToolRun run = Regedit(c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE((c.status ? run.err : run.out).find(c.said), std::string::npos) << run.err;
  }
  EXPECT_FALSE(test::PathExists(dir / "x.reg"));
}

TEST_F(RegeditTest, AKilledImportLeavesAllOrNothing) {
  std::string text = "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Big]\r\n", bytes = "00";
  for (int i = 1; i < 200; ++i)
    bytes += ",5a";
  for (int i = 0; i < 20000; ++i)
    text += "\"v" + std::to_string(i) + "\"=hex:" + bytes + "\r\n";
  std::string file = Script("big.reg", text);
  auto import = [&] {
    return test::StartProgram("regedit", {"/s", file}, dir / "out", dir / "err");
  };
  auto values = [] {
    ScopedKey h;
    uint32_t subKeys = 0, count = 0;
    if (OpenKey(kHkeyLocalMachine, u"Big", kKeyRead, h.Out()) == kErrorSuccess) {
      EXPECT_EQ(QueryInfoKey(h.Get(), &subKeys, &count), kErrorSuccess);
    }
    return count;
  };
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(test::WaitProgram(import()), 0);
  auto whole = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(values(), 20000u);
  // Kills spread over the time a whole import takes.
  for (int quarter = 0; quarter < 4; ++quarter) {
    uint32_t cleared = DeleteTree(kHkeyLocalMachine, u"Big");
    ASSERT_TRUE(cleared == kErrorSuccess || cleared == kErrorFileNotFound);
    int pid = import();
    std::this_thread::sleep_for(whole * quarter / 4);
    ::kill(pid, SIGKILL);
    test::WaitProgram(pid);
    uint32_t count = values();
    EXPECT_TRUE(count == 0 || count == 20000) << count << " values after " << quarter << "/4";
  }
  EXPECT_EQ(test::IntegrityCheck(registry.DatabasePath()), "ok");
}

}  // namespace
}  // namespace slv2::reg
