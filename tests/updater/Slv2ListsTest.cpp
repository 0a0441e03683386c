// The ini booleans and the replacement record's compiled expression.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "updater/Slv2Lists.h"

namespace slv2 {
namespace {

using test::A;

TEST(ParseIniBoolTest, OnlyTheFalseWordsAreFalse) {
  for (std::string value : {std::string(), std::string("False"), std::string("FALSE"),
                            std::string("false"), std::string("0"), A("Ложь")}) {
    EXPECT_FALSE(ParseIniBool(value)) << value;
  }
  // Cyrillic letters do not fold, and nothing else is false.
  for (std::string value : {A("ЛОЖЬ"), A("ложь"), std::string("no"), std::string("Yes"),
                            std::string("00"), std::string(" 0"), std::string("off")}) {
    EXPECT_TRUE(ParseIniBool(value)) << value;
  }
}

TEST(TSlv2StrReplaceDataTest, TheExpressionIsCompiledOnceAtFirstUse) {
  TSlv2StrReplaceData data;
  data.SearchFor = "a+";
  EXPECT_EQ(data.RegExp, nullptr);
  TPcreRegExp& first = data.CompiledRegExp();
  EXPECT_TRUE(first.Compiled());
  data.SearchFor = "b";
  EXPECT_EQ(&data.CompiledRegExp(), &first);
  EXPECT_EQ(first.Pattern(), "a+");
}

}  // namespace
}  // namespace slv2
