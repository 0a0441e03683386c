#include <gtest/gtest.h>

#include <stdexcept>

#include "TestSupport.h"
#include "sys/RegExReplace.h"

namespace slv2 {
namespace {

using test::A;

struct Outcome {
  std::string text;
  int count;
  bool matched;
};

Outcome Replace(const std::string& source, const std::string& pattern, const std::string& tmpl) {
  TPcreRegExp re(pattern);
  Outcome o{"", 0, false};
  o.text = RegExReplaceAll(source, re, tmpl, o.count, o.matched);
  return o;
}

TEST(RegExReplaceAll, ReplacesEveryMatchWithTheExpandedTemplate) {
  Outcome o = Replace("a12b3", "(\\d+)", "[$1]");
  EXPECT_EQ(o.text, "a[12]b[3]");
  EXPECT_EQ(o.count, 2);
  EXPECT_TRUE(o.matched);
  EXPECT_EQ(Replace("key=value", "(\\w+)=(\\w+)", "$2=$1 ($0)").text, "value=key (key=value)");
  EXPECT_EQ(Replace(A("Путь: C:\\Старый\\bin"), A("(?i)c:\\\\старый"), "/opt/new").text,
            A("Путь: /opt/new\\bin"));
}

TEST(RegExReplaceAll, AddsToTheCallersCountAndLeavesUnmatchedTextAlone) {
  TPcreRegExp re("x");
  int count = 5;
  bool matched = false;
  EXPECT_EQ(RegExReplaceAll("axbx", re, "y", count, matched), "ayby");
  EXPECT_EQ(count, 7);
  EXPECT_EQ(RegExReplaceAll("abc", re, "y", count, matched), "abc");
  EXPECT_EQ(count, 7);
  EXPECT_TRUE(matched);  // set by the first call, never reset
  matched = false;
  EXPECT_EQ(RegExReplaceAll("", re, "y", count, matched), "");
  EXPECT_FALSE(matched);
}

TEST(RegExReplaceAll, TemplateQuirksAreKept) {
  // $1 is substituted before $10 and eats its first two characters.
  EXPECT_EQ(Replace("ab", "(a)", "$10").text, "a0b");
  EXPECT_EQ(Replace("abcdefghijk", "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)", "$10|$11").text, "a0|a1");
  // No escape for a literal dollar, references beyond the captures stay.
  EXPECT_EQ(Replace("ab", "(a)", "$$1 $2").text, "$a $2b");
  // A reference brought in by a capture is substituted by a later step.
  EXPECT_EQ(Replace("$2=v", "(\\$2)=(v)", "$1").text, "v");
}

TEST(RegExReplaceAll, AnEmptyMatchMakesProgressOneByteAtATime) {
  Outcome o = Replace("abc", "x*", "-");
  EXPECT_EQ(o.text, "-a-b-c-");
  EXPECT_EQ(o.count, 4);
  EXPECT_EQ(Replace("xab", "x*", "-").text, "--a-b-");
  EXPECT_EQ(Replace("", "^", "start").text, "start");
  EXPECT_EQ(Replace(A("строка"), "$", "!").text, A("строка!"));
  EXPECT_EQ(Replace("a,b", "\\b", "|").text, "|a|,|b|");
}

TEST(RegExReplaceAll, AnInvalidPatternLeavesTheTextUnchanged) {
  Outcome o = Replace("a(b", "a(b", "x");
  EXPECT_EQ(o.text, "a(b");
  EXPECT_EQ(o.count, 0);
  EXPECT_FALSE(o.matched);
}

TEST(RegExReplaceAllCallback, AppendsWhatTheCallbackProduces) {
  TPcreRegExp re("\\$\\{(\\w+)\\}");
  int count = 0;
  bool matched = false;
  auto callback = [](TPcreRegExp& r, std::string& out) {
    if (r.SubString(1) == "ROOT") out = "/opt/z";
    if (r.SubString(1) == "ID") out = "main";
  };
  EXPECT_EQ(RegExReplaceAllCallback("${ROOT}/${ID}.stg", re, matched, count, callback),
            "/opt/z/main.stg");
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(matched);
  // An unset output keeps the previous replacement; before the first match
  // it is empty.
  EXPECT_EQ(RegExReplaceAllCallback("${NONE} ${ROOT} ${NONE}", re, matched, count, callback),
            " /opt/z /opt/z");
}

TEST(RegExReplaceAllCallback, ExceptionsOfTheCallbackPassThrough) {
  TPcreRegExp re("x");
  int count = 0;
  bool matched = false;
  auto fail = [](TPcreRegExp&, std::string&) { throw std::runtime_error("bad macro"); };
  EXPECT_THROW(RegExReplaceAllCallback("axb", re, matched, count, fail), std::runtime_error);
}

}  // namespace
}  // namespace slv2
