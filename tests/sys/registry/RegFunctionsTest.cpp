#include <gtest/gtest.h>

#include <functional>

#include "RegTestSupport.h"
#include "TestSupport.h"
#include "sys/registry/RegFunctions.h"

namespace slv2 {
namespace {

using reg::kHkeyCurrentUser;
using reg::kHkeyLocalMachine;
using test::A;

template <typename F>
std::string MessageOf(F&& f) {
  return test::MessageOf<ERegistryError>(f);
}

class RegFunctionsTest : public ::testing::Test {
 protected:
  test::TempRegistry registry;

  // Through the single-byte calls: text kinds are converted from program text.
  static void SetRaw(reg::HKey root, std::string_view key, std::string_view name, uint32_t type,
                     std::string_view data) {
    reg::ScopedKey h;
    ASSERT_EQ(reg::CreateKeyA(root, key, reg::kKeyAllAccess, h.Out()), kErrorSuccess);
    ASSERT_EQ(reg::SetValueA(h.Get(), name, type, data), kErrorSuccess);
  }
};

TEST_F(RegFunctionsTest, KeyPathsDropOneBackslashAndTheirOwnRootsName) {
  SetRaw(kHkeyLocalMachine, "Software\\Zarvik", "root", reg::kRegSz, std::string("C:\\S", 5));
  for (const char* path : {"\\Software\\Zarvik", "Software\\Zarvik", "HKLM\\Software\\Zarvik",
                           "\\HKEY_LOCAL_MACHINE\\Software\\Zarvik", "\\software\\ZARVIK"}) {
    EXPECT_TRUE(RegKeyExists(kHkeyLocalMachine, path)) << path;
    EXPECT_EQ(RegReadString(kHkeyLocalMachine, path, "root"), "C:\\S") << path;
  }
  // Root names are recognised only as written, in capitals.
  for (const char* path : {"\\\\Software\\Zarvik", "hklm\\Software\\Zarvik"})
    EXPECT_FALSE(RegKeyExists(kHkeyLocalMachine, path)) << path;
  EXPECT_FALSE(RegKeyExists(kHkeyCurrentUser, "\\Software\\Zarvik"));
  RegWriteString(reg::kHkeyUsers, "HKUS\\.DEFAULT\\X", "v", "users");
  EXPECT_EQ(RegReadString(reg::kHkeyUsers, "HKEY_USERS\\.DEFAULT\\X", "v"), "users");
}

TEST_F(RegFunctionsTest, ReadsDropTheLastByteAndGiveTheDefaultOnlyForWhatIsMissing) {
  SetRaw(kHkeyCurrentUser, "K", "sz", reg::kRegSz, A("Путь") + '\0');
  SetRaw(kHkeyCurrentUser, "K", "empty", reg::kRegBinary, "");
  SetRaw(kHkeyCurrentUser, "K", "count", reg::kRegDword, std::string("\x2A\0\0\0", 4));
  SetRaw(kHkeyCurrentUser, "K", "multi", reg::kRegMultiSz, std::string("a\0\0", 3));
  EXPECT_EQ(RegReadString(kHkeyCurrentUser, "K", "sz"), A("Путь"));
  EXPECT_EQ(RegReadString(kHkeyCurrentUser, "K", "empty"), "");
  EXPECT_EQ(RegReadStringDef(kHkeyCurrentUser, "\\None", "root", "def"), "def");
  EXPECT_EQ(RegReadStringDef(kHkeyCurrentUser, "\\K", "none", "def"), "def");
  const std::pair<std::function<void()>, std::string> raises[] = {
      {[] { RegReadString(kHkeyCurrentUser, "\\None", "v"); },
       "Unable to open key \"\\None\" for read"},
      {[] { RegReadString(kHkeyCurrentUser, "\\K", "none"); },
       "Unable to open key \"\\K\" and access value \"none\""},
      {[] { RegReadString(kHkeyCurrentUser, "\\K", "count"); },
       "\"\\K\\count\" is of wrong kind or size"},
      {[] { RegReadStringDef(kHkeyCurrentUser, "K", "multi", "d"); },
       "\"K\\multi\" is of wrong kind or size"},
      {[] { RegKeyExists(kHkeyCurrentUser, "HKLM\\S"); }, "\"HKLM\\S\" does not match RootKey"},
      {[] { RegReadStringDef(kHkeyCurrentUser, "HKLM\\S", "v", "d"); },
       "\"HKLM\\S\" does not match RootKey"},
      {[] { RegWriteString(kHkeyCurrentUser, "HKLM\\S", "v", "x"); },
       "\"HKLM\\S\" does not match RootKey"},
      {[] { RegKeyExists(reg::kHkeyClassesRoot, "\\HKEY_DYN_DATA\\x"); },
       "\"\\HKEY_DYN_DATA\\x\" does not match RootKey"},
  };
  for (const auto& [call, message] : raises)
    EXPECT_EQ(MessageOf(call), message);
  SLV2_SKIP_ON_WINE("RegQueryValueExA adds a terminator to text stored without one");
  SetRaw(kHkeyCurrentUser, "K", "unterminated", reg::kRegSz, "abc");
  SetRaw(kHkeyCurrentUser, "K", "binary", reg::kRegBinary, "\x01\x02\x03");
  EXPECT_EQ(RegReadString(kHkeyCurrentUser, "K", "unterminated"), "ab");
  EXPECT_EQ(RegReadString(kHkeyCurrentUser, "K", "binary"), "\x01\x02");
}

TEST_F(RegFunctionsTest, WritesTerminatedTextCreatingTheKeyPathOrRaise) {
  RegWriteString(kHkeyLocalMachine, "\\Software\\Zarvik\\Solvane 2.1\\main", "group",
                 A("C:\\Меню"));
  EXPECT_EQ(test::ReadRegValue(kHkeyLocalMachine, u"Software\\Zarvik\\Solvane 2.1\\main", u"group"),
            test::Sz(u"C:\\Меню"));
  SLV2_SKIP_ON_WINE("the registry takes key paths with empty names");
  EXPECT_EQ(MessageOf([&] { RegWriteString(kHkeyCurrentUser, "\\A\\\\B", "v", "x"); }),
            "Unable to open key \"\\A\\\\B\" for write");
  EXPECT_EQ(
      MessageOf([&] { RegWriteString(kHkeyCurrentUser, "\\A", std::string(20000, 'n'), "x"); }),
      "Unable to open key \"\\A\" for write");
}

}  // namespace
}  // namespace slv2
