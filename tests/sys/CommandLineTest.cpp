#include <gtest/gtest.h>

#include "sys/CommandLine.h"

namespace slv2 {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, SplitsAtBlanksOutsideQuotes) {
  EXPECT_EQ(SplitCommandLine("regedit.exe /s \"C:\\My Files\\a.reg\""),
            (Args{"regedit.exe", "/s", "C:\\My Files\\a.reg"}));
  EXPECT_EQ(SplitCommandLine("  a\t b  c "), (Args{"a", "b", "c"}));
  EXPECT_EQ(SplitCommandLine("a \"\" b"), (Args{"a", "", "b"}));
  EXPECT_EQ(SplitCommandLine("a x\"y z\"w"), (Args{"a", "xy zw"}));
  EXPECT_EQ(SplitCommandLine(""), Args{});
  EXPECT_EQ(SplitCommandLine(" \t"), Args{});
}

TEST(CommandLine, TheProgramNameOnlyLosesItsQuotes) {
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\x.exe\" 1"),
            (Args{"C:\\Program Files\\x.exe", "1"}));
  EXPECT_EQ(SplitCommandLine("C:\\dir\\\"x y\" z"), (Args{"C:\\dir\\x y", "z"}));
  EXPECT_EQ(SplitCommandLine("\"unterminated name"), (Args{"unterminated name"}));
}

TEST(CommandLine, BackslashesCountOnlyBeforeAQuote) {
  EXPECT_EQ(SplitCommandLine("p a\\\\b\\c"), (Args{"p", "a\\\\b\\c"}));
  EXPECT_EQ(SplitCommandLine("p \\\"x\\\""), (Args{"p", "\"x\""}));
  EXPECT_EQ(SplitCommandLine("p \"a\\\\\" b"), (Args{"p", "a\\", "b"}));
  EXPECT_EQ(SplitCommandLine("p \"a\\\\\\\" b\""), (Args{"p", "a\\\" b"}));
  EXPECT_EQ(SplitCommandLine("p \"C:\\dir\\\\\""), (Args{"p", "C:\\dir\\"}));
  EXPECT_EQ(SplitCommandLine("p trailing\\"), (Args{"p", "trailing\\"}));
}

TEST(CommandLine, TwoQuotesInsideAQuotedPartGiveOne) {
  EXPECT_EQ(SplitCommandLine("p \"a\"\"b\" c"), (Args{"p", "a\"b", "c"}));
  EXPECT_EQ(SplitCommandLine("p \"a\"\" b\""), (Args{"p", "a\" b"}));
}

}  // namespace
}  // namespace slv2
