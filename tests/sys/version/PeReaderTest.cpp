#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <optional>

#include "TestSupport.h"
#include "sys/version/PeReader.h"

namespace slv2::pe {
namespace {

using namespace std::string_literals;

void Put16(std::string& b, size_t at, uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<char>(v);
  b[at + 1] = static_cast<char>(v >> 8);
}

// A root version block: VS_VERSIONINFO with a value of 52 bytes 0, 1, 2, ...
std::string VersionBlock() {
  std::string block;
  Put16(block, 0, 40 + 52);
  Put16(block, 2, 52);
  std::u16string key = u"VS_VERSION_INFO";
  for (size_t i = 0; i < key.size(); ++i)
    Put16(block, 6 + 2 * i, key[i]);
  block.resize(40);  // the key's terminator and the padding
  for (char i = 0; i < 52; ++i)
    block += i;
  return block;
}

std::optional<std::string> RootValue(const std::string& file) {
  MemorySource source(file);
  std::string resource;
  std::string_view value;
  if (!FindVersionResource(source, &resource)) return std::nullopt;
  if (!VersionRootValue(resource, &value)) return "<no root value>";
  return std::string(value);
}

// Damaged headers and resource trees (cycles, pointers past the file) are
// the hostile corpus's (tests/data/hostile/pe) and the fuzz target's.
TEST(PeReader, TheRootBlocksLengthsMustFitItsData) {
  std::string_view value;
  const std::string block = VersionBlock();
  std::string tooLong = block, valueTooLong = block, unterminatedKey(40, 'k');
  Put16(tooLong, 0, static_cast<uint16_t>(block.size() + 1));
  Put16(valueTooLong, 2, 53);
  Put16(unterminatedKey, 0, 40);
  for (const std::string& bad : {tooLong, valueTooLong, unterminatedKey, "\x05\0\0\0\0\0"s, ""s})
    EXPECT_FALSE(VersionRootValue(bad, &value));
  // A block shorter than the data it sits in ends where it says.
  std::string padded = block + "trailing";
  ASSERT_TRUE(VersionRootValue(padded, &value));
  EXPECT_EQ(value.data(), padded.data() + 40);
  EXPECT_EQ(value.size(), 52u);
}

// Arbitrary damage is the fuzz target's; a cut file must still give the whole
// value or none.
TEST(PeReader, ACutFileGivesTheWholeValueOrNone) {
  for (const char* name : {"ver_2_1_0_5_x86.exe", "ver_two_languages.exe"}) {
    const std::string file = test::ReadFile(test::TestDataPath(std::string("pe/") + name));
    const std::optional<std::string> whole = RootValue(file);
    ASSERT_TRUE(whole) << name;
    for (size_t length = 0; length < file.size(); ++length) {
      std::optional<std::string> cut = RootValue(file.substr(0, length));
      EXPECT_TRUE(!cut || *cut == *whole) << name << " cut at " << length;
    }
  }
}

TEST(PeReader, AgreesWithPefile) {
#ifdef _WIN32
  GTEST_SKIP() << "pefile is a Linux program here; on Windows version.dll is the reference";
#endif
  // pefile (python3-pefile) prints each test file's fixed version block.
  test::TempDir dir;
  test::WriteFile(dir / "versions.py",
                  "import glob, os, pefile\n"
                  "for path in sorted(glob.glob(os.path.join('" +
                      test::TestDataPath("pe") + "', '*.exe')) + glob.glob(os.path.join('" +
                      test::TestDataPath("pe") +
                      "', '*.dll'))):\n"
                      "    infos = getattr(pefile.PE(path), 'VS_FIXEDFILEINFO', [])\n"
                      "    print(os.path.basename(path), infos[0].__pack__().hex() if infos "
                      "else 'none')\n");
  std::FILE* pipe = ::popen(("/usr/bin/python3 " + dir / "versions.py").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[512];
  int files = 0;
  for (; std::fgets(line, sizeof line, pipe); ++files) {
    std::string text(line, std::strlen(line) - 1);
    std::string name = text.substr(0, text.find(' '));
    std::optional<std::string> value = RootValue(test::ReadFile(test::TestDataPath("pe/" + name)));
    std::string ours = value ? "" : "none";
    for (char c : value.value_or("")) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(c));
      ours += hex;
    }
    EXPECT_EQ(name + " " + ours, text);
  }
  EXPECT_EQ(::pclose(pipe), 0);
  EXPECT_EQ(files, 9);
}

}  // namespace
}  // namespace slv2::pe
