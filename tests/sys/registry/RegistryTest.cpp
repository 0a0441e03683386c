#include <gtest/gtest.h>

#include "TestSupport.h"
#include "sys/WinError.h"
#include "sys/registry/RegAnsi.h"
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
  std::string MessageOf(F&& f) {
    try {
      f();
    } catch (const ERegistryException& e) {
      return e.Message();
    }
    return "no ERegistryException";
  }
};

TEST_F(RegistryTest, OpensPathsFromTheRootOrBelowTheOpenKey) {
  EXPECT_FALSE(reg.OpenKey("\\Software\\Zarvik", false));
  ASSERT_TRUE(reg.OpenKey("\\Software\\Zarvik", true));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Zarvik");
  ASSERT_TRUE(reg.OpenKey("Solvane\\main", true));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Zarvik\\Solvane\\main");
  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE", false));
  EXPECT_EQ(reg.CurrentPath(), "SOFTWARE");
  // A failed open keeps the key that was open.
  EXPECT_FALSE(reg.OpenKey("Missing", false));
  EXPECT_EQ(reg.CurrentPath(), "SOFTWARE");
  EXPECT_EQ(reg.GetKeyNames(), std::vector<std::string>{"Zarvik"});
  reg.CloseKey();
  EXPECT_EQ(reg.CurrentKey(), 0u);
  ASSERT_TRUE(reg.OpenKey("Software", false));
  EXPECT_EQ(reg.CurrentPath(), "Software");
}

TEST_F(RegistryTest, ReadOnlyOpeningLeavesTheObjectReadOnly) {
  ASSERT_TRUE(reg.OpenKey("\\K", true));
  ASSERT_TRUE(reg.OpenKeyReadOnly("\\K"));
  EXPECT_EQ(reg.Access(), reg::kKeyRead);
  EXPECT_EQ(MessageOf([&] { reg.WriteString("v", "x"); }), "Failed to set data for 'v'");
}

TEST_F(RegistryTest, TypedValuesRoundTripWithTheirKinds) {
  ASSERT_TRUE(reg.OpenKey("\\Values", true));
  reg.WriteString("text", A("Текст"));
  reg.WriteExpandString("expand", "%TEMP%\\x");
  reg.WriteInteger("minus", -2);
  reg.WriteBinaryData("bin", std::string("\0\xFF", 2));
  SLV2_SKIP_ON_WINE("RegEnumValueW lists values by name, not in the order they were made");
  EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"text", "expand", "minus", "bin"}));
  EXPECT_EQ(reg.GetDataType("text"), reg::kRegSz);
  EXPECT_EQ(reg.GetDataType("expand"), reg::kRegExpandSz);
  EXPECT_EQ(reg.GetDataType("minus"), reg::kRegDword);
  EXPECT_EQ(reg.GetDataType("bin"), reg::kRegBinary);
  EXPECT_EQ(reg.GetDataType("missing"), reg::kRegNone);
  EXPECT_EQ(reg.ReadString("text"), A("Текст"));
  EXPECT_EQ(reg.ReadString("expand"), "%TEMP%\\x");
  EXPECT_EQ(reg.ReadInteger("minus"), -2);
  EXPECT_EQ(reg.ReadBinaryData("bin"), std::string("\0\xFF", 2));
  EXPECT_EQ(reg.GetDataSize("text"), 6);
  EXPECT_EQ(reg.GetDataSize("minus"), 4);
  EXPECT_EQ(reg.GetDataSize("missing"), -1);

  uint32_t type;
  std::string data;
  ASSERT_EQ(reg::QueryValue(reg.CurrentKey(), u"minus", &type, &data), kErrorSuccess);
  EXPECT_EQ(data, "\xFE\xFF\xFF\xFF");
}

TEST_F(RegistryTest, TextEndsAtItsFirstZero) {
  ASSERT_TRUE(reg.OpenKey("\\Values", true));
  ASSERT_EQ(reg::SetValueA(reg.CurrentKey(), "two", reg::kRegSz, std::string("ab\0cd\0", 6)),
            kErrorSuccess);
  ASSERT_EQ(reg::SetValueA(reg.CurrentKey(), "bare", reg::kRegSz, "abc"), kErrorSuccess);
  EXPECT_EQ(reg.ReadString("two"), "ab");
  EXPECT_EQ(reg.ReadString("bare"), "abc");
}

TEST_F(RegistryTest, ReadsOfTheWrongKindOrOfNothingRaise) {
  ASSERT_TRUE(reg.OpenKey("\\Values", true));
  reg.WriteInteger("count", 1);
  reg.WriteString("text", "x");
  ASSERT_EQ(reg::SetValueA(reg.CurrentKey(), "long", reg::kRegDword, "12345678"), kErrorSuccess);
  EXPECT_EQ(MessageOf([&] { reg.ReadString("count"); }), "Invalid data type for 'count'");
  EXPECT_EQ(MessageOf([&] { reg.ReadInteger("text"); }), "Invalid data type for 'text'");
  EXPECT_EQ(MessageOf([&] { reg.ReadBinaryData("text"); }), "Invalid data type for 'text'");
  EXPECT_EQ(MessageOf([&] { reg.ReadInteger("long"); }), "Failed to get data for 'long'");
  EXPECT_EQ(MessageOf([&] { reg.ReadString("missing"); }), "Failed to get data for 'missing'");
}

}  // namespace
}  // namespace slv2
