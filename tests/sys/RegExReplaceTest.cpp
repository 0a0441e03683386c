#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "TestSupport.h"
#include "sys/RegExReplace.h"
#include "sys/StackSpace.h"

namespace slv2 {
namespace {

std::string Replace(const std::string& source, const std::string& pattern,
                    const std::string& replaceTemplate, int* count = nullptr) {
  TPcreRegExp re(pattern);
  int n = 0;
  bool matched = false;
  std::string out = RegExReplaceAll(source, re, replaceTemplate, n, matched);
  EXPECT_EQ(matched, n > 0);
  if (count) *count = n;
  return out;
}

TEST(RegExReplaceAll, ReplacesEveryMatchWithTheExpandedTemplate) {
  int count = 0;
  EXPECT_EQ(Replace("a12b3", "(\\d+)", "[$1]", &count), "a[12]b[3]");
  EXPECT_EQ(count, 2);
  EXPECT_EQ(Replace("key=value", "(\\w+)=(\\w+)", "$2=$1 ($0)"), "value=key (key=value)");
  EXPECT_EQ(Replace("a(b", "a(b", "x", &count), "a(b");  // invalid pattern
  EXPECT_EQ(count, 0);
}

TEST(RegExReplaceAll, TemplateQuirksAreKept) {
  EXPECT_EQ(Replace("ab", "(a)", "$10"), "a0b");  // $1 eats the start of $10
  EXPECT_EQ(Replace("abcdefghijk", "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)", "$10|$11"), "a0|a1");
  EXPECT_EQ(Replace("ab", "(a)", "$$1 $2"), "$a $2b");
  // A reference brought in by a capture is substituted by a later step.
  EXPECT_EQ(Replace("$2=v", "(\\$2)=(v)", "$1"), "v");
}

TEST(RegExReplaceAll, AnEmptyMatchMakesProgressOneByteAtATime) {
  int count = 0;
  EXPECT_EQ(Replace("abc", "x*", "-", &count), "-a-b-c-");
  EXPECT_EQ(count, 4);
  EXPECT_EQ(Replace("xab", "x*", "-"), "--a-b-");
  EXPECT_EQ(Replace("a,b", "\\b", "|"), "|a|,|b|");
  EXPECT_EQ(Replace("", "^", "start"), "start");
}

TEST(RegExReplaceAllCallback, AppendsWhatTheCallbackLastProduced) {
  TPcreRegExp re("\\$\\{(\\w+)\\}");
  int count = 3;
  bool matched = false;
  auto macros = [](TPcreRegExp& r, std::string& out) {
    if (r.SubString(1) == "ROOT") out = "/opt/z";
    if (r.SubString(1) == "BAD") throw std::runtime_error("bad macro");
  };
  // An unset output keeps the previous replacement; it starts empty.
  EXPECT_EQ(RegExReplaceAllCallback("${NONE}|${ROOT}|${NONE}", re, matched, count, macros),
            "|/opt/z|/opt/z");
  EXPECT_EQ(count, 6);
  EXPECT_TRUE(matched);
  EXPECT_THROW(RegExReplaceAllCallback("${BAD}", re, matched, count, macros), std::runtime_error);
}

// Patterns whose matching recurses once per repetition, or takes
// exponential time, on every kind of thread: the matcher stops at its limits
// instead of overflowing the stack, and a match that gives up leaves the
// text unchanged rather than reading as "no more matches".
TEST(RegExReplaceAll, AMatchThatReachesALimitLeavesTheTextUnchangedOnEveryThread) {
  std::string alternating;
  for (int i = 0; i < 100000; ++i)
    alternating += "ab";
  struct Case {
    const char* what;
    std::string pattern;
    std::string source;
    const char* failure;
  };
  const Case cases[] = {
      {"a repeated group over 200 KB", "(a|b)*c", alternating + "c", "the recursion limit"},
      {"the same after a first match", "(a|b)*c", "abc-" + alternating + "c",
       "the recursion limit"},
      {"exponential backtracking", "^(a+)+$", std::string(40, 'a') + "!", "the match limit"},
  };
  const std::pair<const char*, std::function<void(const std::function<void()>&)>> threads[] = {
      {"main thread", [](const std::function<void()>& work) { work(); }},
      {"worker thread", [](const std::function<void()>& work) { std::thread(work).join(); }},
      {"192 KB stack", [](const std::function<void()>& work) { RunWithStack(192 << 10, work); }},
  };
  for (const Case& c : cases) {
    for (const auto& [where, run] : threads) {
      SCOPED_TRACE(std::string(c.what) + " on the " + where);
      TPcreRegExp re(c.pattern);
      int count = 7;
      bool matched = false;
      std::string out;
      run([&] { out = RegExReplaceAll(c.source, re, "x", count, matched); });
      EXPECT_TRUE(re.MatchFailed());
      EXPECT_EQ(re.MatchFailure(), c.failure);
      EXPECT_TRUE(out == c.source);
      EXPECT_EQ(count, 7);
      EXPECT_FALSE(matched);
    }
  }
}

}  // namespace
}  // namespace slv2
