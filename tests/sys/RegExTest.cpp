// Regular expressions with the Windows-1251 tables, and replace-all with a $n
// template or a callback.
#include <gtest/gtest.h>
#include <pcre.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <thread>

#include "TestSupport.h"
#include "sys/PcreTables.h"
#include "sys/RegExReplace.h"
#include "sys/StackSpace.h"

namespace slv2 {
namespace {

using test::A;

TEST(PcreTables, AsciiHalfIsWhatPcreBuildsForTheCLocale) {
  const unsigned char* reference = pcre_maketables();
  const unsigned char* own = Cp1251PcreTables();
  for (int table : {0, 256, 832})
    EXPECT_EQ(std::memcmp(own + table, reference + table, 128), 0);
  for (int map = 512; map < 832; map += 32)
    EXPECT_EQ(std::memcmp(own + map, reference + map, 16), 0);
  pcre_free(const_cast<unsigned char*>(reference));
}

TEST(PcreRegExp, KnowsTheCyrillicLettersAndTheirCase) {
  const struct {
    std::string pattern, subject;
    bool matches;
  } cases[] = {
      {"^\\w+$", A("Ёжик_ґ1"), true},
      {"^[[:alpha:]]+$", A("ПриветЇЎ"), true},
      {"^[[:alpha:]]+$", A("При№вет"), false},
      {"^[[:upper:]][[:lower:]]+$", A("Жёлудь"), true},
      {"^[[:punct:]]+$", A("«№»—"), true},
      {A("файл"), A("ФАЙЛ"), false},
      {A("(?i)файл ёлка ґ"), A("ФаЙл ЁЛКА Ґ"), true},
      // The dot takes line breaks, and anchors refer to the whole text.
      {"^one.two$", "one\ntwo", true},
      {"^two|one$", "one\ntwo", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TPcreRegExp(c.pattern).Match(c.subject, 1) > 0, c.matches) << c.pattern;
}

TEST(RegExReplaceAll, ExpandsTheTemplateWithItsQuirksAndStepsOverEmptyMatches) {
  const struct {
    const char *source, *pattern, *replace, *expected;
    int count;
  } cases[] = {
      {"a12b3", "(\\d+)", "[$1]", "a[12]b[3]", 2},
      {"key=value", "(\\w+)=(\\w+)", "$2=$1 ($0)", "value=key (key=value)", 1},
      {"a(b", "a(b", "x", "a(b", 0},  // a pattern that does not compile
      // $1 eats the start of $10, even where there is a tenth group.
      {"abcdefghijk", "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)", "$10|$11", "a0|a1", 1},
      {"ab", "(a)", "$$1 $2", "$a $2b", 1},
      // A reference brought in by a capture is substituted by a later step.
      {"$2=v", "(\\$2)=(v)", "$1", "v", 1},
      // An empty match makes progress one byte at a time.
      {"abc", "x*", "-", "-a-b-c-", 4},
  };
  for (const auto& c : cases) {
    TPcreRegExp re(c.pattern);
    int count = 0;
    bool matched = false;
    EXPECT_EQ(RegExReplaceAll(c.source, re, c.replace, count, matched), c.expected) << c.pattern;
    EXPECT_EQ(count, c.count) << c.pattern;
    EXPECT_EQ(matched, c.count > 0) << c.pattern;
  }
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
  EXPECT_THROW(RegExReplaceAllCallback("${BAD}", re, matched, count, macros), std::runtime_error);
}

// Patterns whose matching recurses once per repetition, takes exponential
// time or tries every position of a long text (PCRE bounds each start
// position, not a search), on every kind of thread: the matcher stops at its
// limits within seconds instead of overflowing the stack, and a match that
// gives up leaves the text unchanged rather than reading as "no more
// matches"; so does a search asked to stop.
TEST(RegExReplaceAll, AMatchThatReachesALimitLeavesTheTextUnchangedWithinSeconds) {
  std::string alternating, open(200000, '(');
  for (int i = 0; i < (1 << 19); ++i)
    alternating += "ab";
  const std::string nested = R"(\((?:[^()]|(?R))*\))";
  using Thread = std::pair<const char*, std::function<void(const std::function<void()>&)>>;
  const std::vector<Thread> everyThread = {
      {"main thread", [](const std::function<void()>& work) { work(); }},
      {"worker thread", [](const std::function<void()>& work) { std::thread(work).join(); }},
      {"192 KB stack", [](const std::function<void()>& work) { RunWithStack(192 << 10, work); }},
  };
  const std::vector<Thread> bigStack = {
      {"256 MB stack", [](const std::function<void()>& work) { RunWithStack(256 << 20, work); }}};
  struct Case {
    const char* what;
    std::string pattern, source;
    const char* failure;  // nullptr: whichever limit comes first
    const std::vector<Thread>& threads;
  };
  const Case cases[] = {
      {"a repeated group over 200 KB", "(a|b)*c", alternating.substr(0, 200000) + "c",
       "the recursion limit", everyThread},
      {"the same after a first match", "(a|b)*c", "abc-" + alternating.substr(0, 200000) + "c",
       "the recursion limit", everyThread},
      {"exponential backtracking", "^(a+)+$", std::string(40, 'a') + "!", "the match limit",
       everyThread},
      {"a repeated group over 1 MB", "(a|b)*c", alternating, nullptr, bigStack},
      {"a repeated group over 60 KB", "(a|b)*c", alternating.substr(0, 60000), nullptr, bigStack},
      {"recursion over 200,000 parentheses", nested, open, nullptr, bigStack},
  };
  for (const Case& c : cases) {
    for (const auto& [where, run] : c.threads) {
      SCOPED_TRACE(std::string(c.what) + " on the " + where);
      TPcreRegExp re(c.pattern);
      int count = 7;
      bool matched = false;
      std::string out;
      auto start = std::chrono::steady_clock::now();
      run([&] { out = RegExReplaceAll(c.source, re, "x", count, matched); });
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
      EXPECT_TRUE(re.MatchFailed());
      if (c.failure) {
        EXPECT_EQ(re.MatchFailure(), c.failure);
      }
      EXPECT_TRUE(out == c.source);
      EXPECT_EQ(count, 7);
      EXPECT_FALSE(matched);
    }
  }

  static std::atomic<bool> stop{false};
  TPcreRegExp::SetStopRequest([]() noexcept { return stop.load(); });
  TPcreRegExp re("(a|b)*c");
  int count = 0;
  bool matched = false;
  std::chrono::steady_clock::time_point asked;
  std::thread asker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    asked = std::chrono::steady_clock::now();
    stop = true;
  });
  std::string longSearch = alternating.substr(0, 60000);
  RunWithStack(256 << 20, [&] { RegExReplaceAll(longSearch, re, "x", count, matched); });
  auto ended = std::chrono::steady_clock::now();
  asker.join();
  TPcreRegExp::SetStopRequest(nullptr);
  EXPECT_EQ(re.MatchFailure(), "a request to stop");
  EXPECT_LT(ended - asked, std::chrono::seconds(1));
}

}  // namespace
}  // namespace slv2
