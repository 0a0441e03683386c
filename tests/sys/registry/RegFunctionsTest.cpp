#include <gtest/gtest.h>

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
  EXPECT_FALSE(RegKeyExists(kHkeyLocalMachine, "\\\\Software\\Zarvik"));
  // Root names are recognised only as written, in capitals.
  EXPECT_FALSE(RegKeyExists(kHkeyLocalMachine, "hklm\\Software\\Zarvik"));
  EXPECT_FALSE(RegKeyExists(kHkeyCurrentUser, "\\Software\\Zarvik"));
  RegWriteString(reg::kHkeyUsers, "HKUS\\.DEFAULT\\X", "v", "users");
  EXPECT_EQ(RegReadString(reg::kHkeyUsers, "HKEY_USERS\\.DEFAULT\\X", "v"), "users");
}

TEST_F(RegFunctionsTest, APathNamingAnotherRootRaisesWhateverTheOperation) {
  const std::string expected = "\"HKLM\\Software\\Zarvik\" does not match RootKey";
  const char* path = "HKLM\\Software\\Zarvik";
  EXPECT_EQ(MessageOf([&] { RegKeyExists(kHkeyCurrentUser, path); }), expected);
  EXPECT_EQ(MessageOf([&] { RegReadString(kHkeyCurrentUser, path, "v"); }), expected);
  EXPECT_EQ(MessageOf([&] { RegReadStringDef(kHkeyCurrentUser, path, "v", "d"); }), expected);
  EXPECT_EQ(MessageOf([&] { RegWriteString(kHkeyCurrentUser, path, "v", "x"); }), expected);
  EXPECT_EQ(MessageOf([&] { RegKeyExists(reg::kHkeyClassesRoot, "\\HKEY_DYN_DATA\\x"); }),
            "\"\\HKEY_DYN_DATA\\x\" does not match RootKey");
}

TEST_F(RegFunctionsTest, MissingOrWrongKindsRaiseAndOnlyMissingOnesGiveTheDefault) {
  const char* key = "\\Software\\Zarvik\\Solvane";
  SetRaw(kHkeyCurrentUser, "Software\\Zarvik\\Solvane", "other", reg::kRegSz, std::string("", 1));
  SetRaw(kHkeyCurrentUser, "K", "count", reg::kRegDword, std::string("\x2A\0\0\0", 4));
  SetRaw(kHkeyCurrentUser, "K", "multi", reg::kRegMultiSz, std::string("a\0\0", 3));
  EXPECT_EQ(MessageOf([&] { RegReadString(kHkeyCurrentUser, "\\Software\\None", "root"); }),
            "Unable to open key \"\\Software\\None\" for read");
  EXPECT_EQ(MessageOf([&] { RegReadString(kHkeyCurrentUser, key, "media"); }),
            "Unable to open key \"\\Software\\Zarvik\\Solvane\" and access value \"media\"");
  EXPECT_EQ(RegReadStringDef(kHkeyCurrentUser, "\\Software\\None", "root", "def"), "def");
  EXPECT_EQ(RegReadStringDef(kHkeyCurrentUser, key, "media", ""), "");
  EXPECT_EQ(RegReadStringDef(kHkeyCurrentUser, key, "other", "d"), "");
  const std::string wrongKind = "\"\\K\\count\" is of wrong kind or size";
  EXPECT_EQ(MessageOf([&] { RegReadString(kHkeyCurrentUser, "\\K", "count"); }), wrongKind);
  EXPECT_EQ(MessageOf([&] { RegReadStringDef(kHkeyCurrentUser, "\\K", "count", "d"); }), wrongKind);
  EXPECT_EQ(MessageOf([&] { RegReadStringDef(kHkeyCurrentUser, "K", "multi", "d"); }),
            "\"K\\multi\" is of wrong kind or size");
}

TEST_F(RegFunctionsTest, ReadsDropTheLastByteOfWhatIsStored) {
  SetRaw(kHkeyCurrentUser, "K", "sz", reg::kRegSz, A("Путь") + '\0');
  SetRaw(kHkeyCurrentUser, "K", "unterminated", reg::kRegSz, "abc");
  SetRaw(kHkeyCurrentUser, "K", "expand", reg::kRegExpandSz, std::string("%WINDIR%\\x", 11));
  SetRaw(kHkeyCurrentUser, "K", "binary", reg::kRegBinary, "\x01\x02\x03");
  SetRaw(kHkeyCurrentUser, "K", "empty", reg::kRegBinary, "");
  EXPECT_EQ(RegReadString(kHkeyCurrentUser, "K", "sz"), A("Путь"));
  SLV2_SKIP_ON_WINE("RegQueryValueExA adds a terminator to text stored without one");
  EXPECT_EQ(RegReadString(kHkeyCurrentUser, "K", "unterminated"), "ab");
  EXPECT_EQ(RegReadString(kHkeyCurrentUser, "K", "expand"), "%WINDIR%\\x");
  EXPECT_EQ(RegReadString(kHkeyCurrentUser, "K", "binary"), "\x01\x02");
  EXPECT_EQ(RegReadString(kHkeyCurrentUser, "K", "empty"), "");
}

TEST_F(RegFunctionsTest, WritesTerminatedTextCreatingTheKeyPathOrRaise) {
  RegWriteString(kHkeyLocalMachine, "\\Software\\Zarvik\\Solvane 2.1\\main", "group",
                 A("C:\\Меню"));
  EXPECT_EQ(test::ReadRegValue(kHkeyLocalMachine, u"Software\\Zarvik\\Solvane 2.1\\main", u"group"),
            test::Sz(u"C:\\Меню"));
  SLV2_SKIP_ON_WINE("the registry takes key paths with empty names");
  const std::string cannot = "Unable to open key \"\\A\" for write";
  EXPECT_EQ(MessageOf([&] { RegWriteString(kHkeyCurrentUser, "\\A\\\\B", "v", "x"); }),
            "Unable to open key \"\\A\\\\B\" for write");
#ifndef _WIN32  // Windows has HKEY_CURRENT_CONFIG; the Linux registry has not
  EXPECT_EQ(MessageOf([&] { RegWriteString(reg::kHkeyCurrentConfig, "\\A", "v", "x"); }), cannot);
#endif
  EXPECT_EQ(
      MessageOf([&] { RegWriteString(kHkeyCurrentUser, "\\A", std::string(20000, 'n'), "x"); }),
      cannot);
}

}  // namespace
}  // namespace slv2
