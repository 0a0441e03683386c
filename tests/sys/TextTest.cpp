// Program text: the code page, case folding, checksums, the string unit's
// replace, join and wildcard functions, and command lines split as Windows
// programs split them.
#include <gtest/gtest.h>
#include <zlib.h>

#include "TestSupport.h"
#include "sys/CommandLine.h"
#include "sys/Cp1251.h"
#include "sys/Crc32.h"
#include "sys/Sha256.h"
#include "sys/StrUtil.h"

namespace slv2 {
namespace {

using test::A;

TEST(Cp1251, ConvertsEveryByteBothWaysAndUnrepresentableCharactersToQuestionMarks) {
  std::string all;
  for (int b = 1; b < 256; ++b)
    all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
  EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(all)), all);
  EXPECT_EQ(AnsiToUtf8("\xCF\xF0\xE8\xE2\xE5\xF2\xB9\x96\x88"), "Привет№–€");
  EXPECT_EQ(Utf8ToAnsi("a中b\xFF"), "a?b?");
  EXPECT_EQ(Utf16ToAnsi(u"\U0001F600"), "?");
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(Cp1251, FoldsTheCaseOfEveryCyrillicLetter) {
  EXPECT_EQ(AnsiUpperCase(A("файл ёжик ђѓєѕіїјљњћќўџґ № « µ")),
            A("ФАЙЛ ЁЖИК ЂЃЄЅІЇЈЉЊЋЌЎЏҐ № « µ"));
  EXPECT_EQ(AnsiLowerCase(A("ФАЙЛ ЁЖИК ЂЃЄЅІЇЈЉЊЋЌЎЏҐ")), A("файл ёжик ђѓєѕіїјљњћќўџґ"));
  EXPECT_TRUE(AnsiSameText(A("Справка.LNK"), A("СПРАВКА.lnk")));
  EXPECT_FALSE(AnsiSameText("abc", "abd"));
}

TEST(Checksums, MatchTheStandardVectorsAcrossSeveralBuffersAndInAFile) {
  EXPECT_EQ(~UpdateCRC32("6789", UpdateCRC32("12345", 0xFFFFFFFFu, 5), 4), 0xCBF43926u);
  std::string noise(5000, '\0');
  for (size_t i = 0; i < noise.size(); ++i)
    noise[i] = static_cast<char>(i * 2654435761u >> 13);
  for (size_t length : {15, 63, 64, 65, 79, 80, 127, 128, 1000, 4099}) {
    for (size_t offset : {0, 1, 7}) {
      const auto* p = reinterpret_cast<const Bytef*>(noise.data() + offset);
      EXPECT_EQ(CalcCRC32(p, length), crc32(0, p, static_cast<uInt>(length))) << length;
    }
  }
  struct Row {
    std::string data, digest;
  };
  for (const Row& row : {
           Row{"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
           Row{"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
           Row{"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
               "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
       }) {
    EXPECT_EQ(Sha256Hex(row.data), row.digest) << row.data.size();
  }
  // The long vector, read from a file over several buffers.
  test::TempDir dir;
  test::WriteFile(dir / "a", std::string(1000000, 'a'));
  EXPECT_EQ(FileSha256(dir / "a"),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_EQ(FileSha256(dir / "missing"), "");
}

TEST(ReplaceAll, ReplacesLeftToRightWithoutRescanningFoldingCyrillicCase) {
  const struct {
    std::string text, find, replace;
    bool ignoreCase;
    std::string expected;
  } cases[] = {
      {"aaa", "aa", "b", false, "ba"},
      {"source", "", "z", true, "source"},
      {A("файл Файл ФАЙЛ фАйЛ file"), A("файл"), A("Док"), true, A("Док Док Док Док file")},
      {A("файл Файл"), A("файл"), "X", false, A("X Файл")},
      // One byte for one byte is mapped in place, with the same folding.
      {A("яЯї"), A("Я"), "_", true, A("__ї")},
      {"aAa", "a", "z", false, "zAz"},
      {"a-a", "a", "xy", false, "xy-xy"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReplaceAll(c.text, c.find, c.replace, c.ignoreCase), c.expected) << c.text;
}

TEST(JoinPath, PutsExactlyOneDelimiterBetweenThePartsKeepingPosixForm) {
  const char* cases[][3] = {
      {"C:\\Prog", "x.dll", "C:\\Prog\\x.dll"},
      {"C:\\Prog\\", "\\sub\\x", "C:\\Prog\\sub\\x"},
      {"C:\\Prog", "", "C:\\Prog"},
      {"", "x", "\\x"},
      {"rel", "/x", "rel\\/x"},
      {"/opt/z", "x.dll", "/opt/z/x.dll"},
      {"/opt/z/", "\\x.dll", "/opt/z/x.dll"},
      {"//srv/share", "x", "//srv/share\\x"},
  };
  for (const auto& [a, b, joined] : cases)
    EXPECT_EQ(JoinPath(a, b), joined) << a << " + " << b;
}

TEST(IsAbsolutePath, OnlyPathsIndependentOfTheCurrentFolderAndDrive) {
  for (const char* path :
       {"/opt/zarvik", "/", "C:\\Programs", "d:/x", "\\\\srv\\share", "//srv/share"})
    EXPECT_TRUE(IsAbsolutePath(path)) << path;
  for (const char* path : {"", "Programs", "C:", "C:x", "\\Programs", "\\\\", "\\\\\\x", "1:\\x"})
    EXPECT_FALSE(IsAbsolutePath(path)) << path;
}

TEST(MatchWildcard, MatchesByteByByteWithStarsThatCommitAndQuestionMarks) {
  const struct {
    const char *name, *mask;
    bool matches;
  } cases[] = {
      {"a.b.txt", "*.txt", true},
      {"abc", "a*", true},
      {"xabc", "abc", false},
      {"readme.", "*.*", true},
      {"readme", "*.*", false},
      {"", "*", false},
      {"", "", true},
      {"abc", "abc*", true},
      {"abc", "abc**", false},
      // A star commits and is reconsidered only on a mismatch; a "?" ends its
      // reach; the byte after a star is sought as a plain byte.
      {"a.txt.txt", "*.txt", false},
      {"xaxabc", "*a?c", false},
      {"xabc", "*a?c", true},
      {"ab?x", "*?x", true},
      {"abx", "*?x", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MatchWildcard(c.name, c.mask), c.matches) << c.name << " ~ " << c.mask;
}

TEST(CommandLine, SplitsWithTheQuotingRulesOfWindowsPrograms) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"regedit.exe /s \"C:\\My Files\\a.reg\"", {"regedit.exe", "/s", "C:\\My Files\\a.reg"}},
      {"  a\t b  c ", {"a", "b", "c"}},
      {"a \"\" b", {"a", "", "b"}},
      {" \t", {}},
      // The program name only loses its quotes.
      {"C:\\dir\\\"x y\" z", {"C:\\dir\\x y", "z"}},
      {"\"unterminated name", {"unterminated name"}},
      // Backslashes count only before a quote.
      {"p \"a\\\\\" b", {"p", "a\\", "b"}},
      {"p \"a\\\\\\\" b\"", {"p", "a\\\" b"}},
      // Two quotes inside a quoted part give one, and the part goes on.
      {"p \"a\"\" b\"", {"p", "a\" b"}},
  };
  for (const auto& [line, args] : cases)
    EXPECT_EQ(SplitCommandLine(line), args) << line;
}

}  // namespace
}  // namespace slv2
