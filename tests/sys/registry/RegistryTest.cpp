#include <gtest/gtest.h>

#include "RegTestSupport.h"
#include "TestSupport.h"
#include "sys/registry/Registry.h"

namespace slv2 {
namespace {

using test::A;

class RegistryTest : public ::testing::Test {
 protected:
  test::TempRegistry registry;
  TRegistry reg{reg::kKeyAllAccess};

  void SetUp() override { reg.SetRootKey(reg::kHkeyLocalMachine); }

  template <typename F>
  static std::string MessageOf(F&& f) {
    return test::MessageOf<ERegistryException>(f);
  }
};

TEST_F(RegistryTest, OpensPathsFromTheRootOrBelowTheOpenKey) {
  EXPECT_FALSE(reg.OpenKey("\\Software\\Zarvik", false));
  ASSERT_TRUE(reg.OpenKey("\\Software\\Zarvik", true));
  ASSERT_TRUE(reg.OpenKey("Solvane\\main", true));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Zarvik\\Solvane\\main");
  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE", false));
  // A failed open keeps the key that was open.
  EXPECT_FALSE(reg.OpenKey("Missing", false));
  EXPECT_EQ(reg.CurrentPath(), "SOFTWARE");
  EXPECT_EQ(reg.GetKeyNames(), std::vector<std::string>{"Zarvik"});
  reg.CloseKey();
  ASSERT_TRUE(reg.OpenKey("Software", false));
  EXPECT_EQ(reg.CurrentPath(), "Software");
  // Opening for reading leaves the object reading.
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software"));
  EXPECT_EQ(MessageOf([&] { reg.WriteString("v", "x"); }), "Failed to set data for 'v'");
}

TEST_F(RegistryTest, TypedValuesRoundTripWithTheirKinds) {
  ASSERT_TRUE(reg.OpenKey("\\Values", true));
  reg.WriteString("text", A("Текст"));
  reg.WriteExpandString("expand", "%TEMP%\\x");
  reg.WriteInteger("minus", -2);
  reg.WriteBinaryData("bin", std::string("\0\xFF", 2));
  EXPECT_EQ(reg.ReadString("text"), A("Текст"));
  EXPECT_EQ(reg.ReadString("expand"), "%TEMP%\\x");
  EXPECT_EQ(reg.ReadInteger("minus"), -2);
  EXPECT_EQ(reg.ReadBinaryData("bin"), std::string("\0\xFF", 2));
  EXPECT_EQ(test::ReadRegValue(reg::kHkeyLocalMachine, u"Values", u"minus"), "\xFE\xFF\xFF\xFF");
  std::vector<uint32_t> kinds;
  for (const char* name : {"text", "expand", "minus", "bin", "missing"})
    kinds.push_back(reg.GetDataType(name));
  EXPECT_EQ(kinds, (std::vector<uint32_t>{reg::kRegSz, reg::kRegExpandSz, reg::kRegDword,
                                          reg::kRegBinary, reg::kRegNone}));
  // Text ends at its first zero.
  using namespace std::string_literals;
  test::SetRegValue(reg::kHkeyLocalMachine, u"Values", u"two", reg::kRegSz,
                    reg::StringDataFromUtf16(u"ab\0cd\0"s));
  test::SetRegValue(reg::kHkeyLocalMachine, u"Values", u"bare", reg::kRegSz,
                    reg::StringDataFromUtf16(u"abc"));
  EXPECT_EQ(reg.ReadString("two"), "ab");
  EXPECT_EQ(reg.ReadString("bare"), "abc");
}

TEST_F(RegistryTest, ReadsOfTheWrongKindOrOfNothingRaise) {
  ASSERT_TRUE(reg.OpenKey("\\Values", true));
  reg.WriteInteger("count", 1);
  reg.WriteString("text", "x");
  test::SetRegValue(reg::kHkeyLocalMachine, u"Values", u"long", reg::kRegDword, "12345678");
  EXPECT_EQ(MessageOf([&] { reg.ReadString("count"); }), "Invalid data type for 'count'");
  EXPECT_EQ(MessageOf([&] { reg.ReadInteger("text"); }), "Invalid data type for 'text'");
  EXPECT_EQ(MessageOf([&] { reg.ReadBinaryData("text"); }), "Invalid data type for 'text'");
  EXPECT_EQ(MessageOf([&] { reg.ReadInteger("long"); }), "Failed to get data for 'long'");
  EXPECT_EQ(MessageOf([&] { reg.ReadString("missing"); }), "Failed to get data for 'missing'");
}

}  // namespace
}  // namespace slv2
