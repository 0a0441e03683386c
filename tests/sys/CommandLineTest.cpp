#include <gtest/gtest.h>

#include "sys/CommandLine.h"

namespace slv2 {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, SplitsWithTheQuotingRulesOfWindowsPrograms) {
  const std::pair<const char*, Args> cases[] = {
      {"regedit.exe /s \"C:\\My Files\\a.reg\"", {"regedit.exe", "/s", "C:\\My Files\\a.reg"}},
      {"  a\t b  c ", {"a", "b", "c"}},
      {"a \"\" b", {"a", "", "b"}},
      {"a x\"y z\"w", {"a", "xy zw"}},
      {" \t", {}},
      // The program name only loses its quotes.
      {"\"C:\\Program Files\\x.exe\" 1", {"C:\\Program Files\\x.exe", "1"}},
      {"C:\\dir\\\"x y\" z", {"C:\\dir\\x y", "z"}},
      {"\"unterminated name", {"unterminated name"}},
      // Backslashes count only before a quote.
      {"p a\\\\b\\c", {"p", "a\\\\b\\c"}},
      {"p \\\"x\\\"", {"p", "\"x\""}},
      {"p \"a\\\\\" b", {"p", "a\\", "b"}},
      {"p \"a\\\\\\\" b\"", {"p", "a\\\" b"}},
      {"p \"C:\\dir\\\\\"", {"p", "C:\\dir\\"}},
      {"p trailing\\", {"p", "trailing\\"}},
      // Two quotes inside a quoted part give one.
      {"p \"a\"\"b\" c", {"p", "a\"b", "c"}},
      {"p \"a\"\" b\"", {"p", "a\" b"}},
  };
  for (const auto& [line, args] : cases)
    EXPECT_EQ(SplitCommandLine(line), args) << line;
}

}  // namespace
}  // namespace slv2
