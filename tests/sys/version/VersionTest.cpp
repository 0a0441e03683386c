// Version information: the resource walk over hostile executables, the fixed
// block of real files, and the comparison the updater keeps files by.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <optional>

#include "TestSupport.h"
#include "sys/FileLayer.h"
#include "sys/Format.h"
#include "sys/version/PeReader.h"
#include "sys/version/VerInfo.h"

namespace slv2::pe {
namespace {

using namespace std::string_literals;

std::string Pe(const std::string& name) {
  return test::TestDataPath("pe/" + name);
}

void Put16(std::string& b, size_t at, uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<char>(v);
  b[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& b, size_t at, uint32_t v) {
  Put16(b, at, static_cast<uint16_t>(v));
  Put16(b, at + 2, static_cast<uint16_t>(v >> 16));
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

// Offsets in the resource data of the one-resource tree Resources() builds.
enum : uint32_t { kTypeDir = 0, kNameDir = 0x18, kLanguageDir = 0x30, kDataEntry = 0x48 };
constexpr uint32_t kResourceRva = 0x1000;
constexpr size_t kResourceFileOffset = 0x200;

std::string Resources(const std::string& version) {
  std::string r;
  auto directory = [&](uint32_t at, uint32_t id, uint32_t target) {
    Put16(r, at + 14, 1);  // one entry named by number
    Put32(r, at + 16, id);
    Put32(r, at + 20, target);
  };
  directory(kTypeDir, 16, 0x80000000 | kNameDir);
  directory(kNameDir, 1, 0x80000000 | kLanguageDir);
  directory(kLanguageDir, 0x409, kDataEntry);
  Put32(r, kDataEntry, kResourceRva + 0x58);
  Put32(r, kDataEntry + 4, static_cast<uint32_t>(version.size()));
  r.resize(0x58);
  return r + version;
}

// A PE32 image whose only section holds the resources (the real files of the
// tests cover PE32+).
constexpr size_t kOptional = 0x58, kDirectories = kOptional + 96, kSection = kOptional + 224;

std::string Image(const std::string& resources) {
  std::string b = "MZ";
  Put32(b, 0x3C, 0x40);
  b.replace(0x40, 4, "PE\0\0"s);
  Put16(b, 0x44, 0x14C);
  Put16(b, 0x46, 1);
  Put16(b, 0x54, kSection - kOptional);
  Put16(b, kOptional, 0x10B);
  Put32(b, kOptional + 92, 16);
  Put32(b, kDirectories + 16, kResourceRva);
  Put32(b, kDirectories + 20, static_cast<uint32_t>(resources.size()));
  b.resize(kSection);
  b += ".rsrc\0\0\0"s;
  Put32(b, kSection + 8, static_cast<uint32_t>(resources.size()));
  Put32(b, kSection + 12, kResourceRva);
  Put32(b, kSection + 16, static_cast<uint32_t>(resources.size()));
  Put32(b, kSection + 20, kResourceFileOffset);
  b.resize(kResourceFileOffset);
  return b + resources;
}

std::optional<std::string> RootValue(const std::string& file) {
  MemorySource source(file);
  std::string resource;
  std::string_view value;
  if (!FindVersionResource(source, &resource)) return std::nullopt;
  if (!VersionRootValue(resource, &value)) return "<no root value>";
  return std::string(value);
}

// Headers that point outside the file and resource directories that lead in
// circles.
TEST(PeReader, RefusesWhatPointsOutsideTheFileOrInCircles) {
  const std::string good = Image(Resources(VersionBlock()));
  const std::map<std::string, std::function<void(std::string&)>> damages = {
      {"no MZ", [](std::string& f) { f[0] = 'X'; }},
      {"PE header beyond the end", [](std::string& f) { Put32(f, 0x3C, 0xFFFFFFF0); }},
      {"no PE signature", [](std::string& f) { f[0x42] = 'X'; }},
      {"unknown optional header", [](std::string& f) { Put16(f, kOptional, 0x107); }},
      {"optional header too short", [](std::string& f) { Put16(f, 0x54, 100); }},
      {"optional header beyond the end", [](std::string& f) { Put16(f, 0x54, 0xFFFF); }},
      {"too few data directories", [](std::string& f) { Put32(f, kOptional + 92, 2); }},
      {"no resource directory", [](std::string& f) { Put32(f, kDirectories + 16, 0); }},
      {"sections beyond the end", [](std::string& f) { Put16(f, 0x46, 0xFFFF); }},
      {"section data beyond the end", [](std::string& f) { Put32(f, kSection + 20, 0x7FFFFFF0); }},
      {"section shorter than its data", [](std::string& f) { Put32(f, kSection + 16, 0x50); }},
      {"resource outside every section",
       [](std::string& f) { Put32(f, kDirectories + 16, 0x5000); }},
      {"directory counts beyond the section",
       [](std::string& f) { Put32(f, kResourceFileOffset + 12, 0xFFFFFFFF); }},
      {"no version type", [](std::string& f) { Put32(f, kResourceFileOffset + kTypeDir + 16, 3); }},
      {"data at no address", [](std::string& f) { Put32(f, kResourceFileOffset + kDataEntry, 0); }},
      // Followed blindly, it would end at data.
      {"the version type's directory is the type directory, which lists a name 1",
       [](std::string& f) {
         Put16(f, kResourceFileOffset + kTypeDir + 14, 2);
         Put32(f, kResourceFileOffset + kTypeDir + 16, 1);
         Put32(f, kResourceFileOffset + kTypeDir + 20, 0x80000000 | kLanguageDir);
         Put32(f, kResourceFileOffset + kTypeDir + 24, 16);
         Put32(f, kResourceFileOffset + kTypeDir + 28, 0x80000000 | kTypeDir);
       }},
      {"a language entry that is a directory",
       [](std::string& f) {
         Put32(f, kResourceFileOffset + kLanguageDir + 20, 0x80000000 | kLanguageDir);
       }},
  };
  ASSERT_TRUE(RootValue(good));
  for (const auto& [what, damage] : damages) {
    std::string file = good;
    damage(file);
    EXPECT_FALSE(RootValue(file)) << what;
  }
}

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
    const std::string file = test::ReadFile(Pe(name));
    const std::optional<std::string> whole = RootValue(file);
    ASSERT_TRUE(whole) << name;
    for (size_t length = 0; length < file.size(); ++length) {
      std::optional<std::string> cut = RootValue(file.substr(0, length));
      EXPECT_TRUE(!cut || *cut == *whole) << name << " cut at " << length;
    }
  }
}

VsFixedFileInfo Info(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
  VsFixedFileInfo info{};
  info.dwFileVersionMS = uint32_t{a} << 16 | b;
  info.dwFileVersionLS = uint32_t{c} << 16 | d;
  return info;
}

// Every file of the test data as pefile (python3-pefile) reads its fixed
// version block, or "none"; what holds no block leaves the caller's info
// alone.
TEST(VerInfo, ReadsTheFixedBlockOfEveryFileAsPefileDoes) {
  VsFixedFileInfo none;
  std::memset(&none, 0xA5, sizeof none);
  for (std::string file : {Pe("make.sh"), Pe("missing.exe"), Pe("")}) {
    EXPECT_FALSE(GetFixedFileInfo(file, none)) << file;
    EXPECT_EQ(none.dwFileVersionMS, 0xA5A5A5A5u) << file;
  }
#ifdef _WIN32
  GTEST_SKIP() << "pefile is a Linux program here; on Windows version.dll is the reference";
#else
  const std::vector<std::string> lines = test::SplitLines(test::CommandOutput(
      "/usr/bin/python3 -c \"import glob, os, pefile\n"
      "for path in sorted(glob.glob(os.path.join('" +
      Pe("") + "', '*.exe')) + glob.glob(os.path.join('" + Pe("") +
      "', '*.dll'))):\n"
      "    infos = getattr(pefile.PE(path), 'VS_FIXEDFILEINFO', [])\n"
      "    print(os.path.basename(path), infos[0].__pack__().hex() if infos else 'none')\""));
  for (const std::string& text : lines) {
    std::string name = text.substr(0, text.find(' '));
    VsFixedFileInfo info;
    bool found = GetFixedFileInfo(Pe(name), info);
    std::string ours = found ? "" : "none";
    for (size_t i = 0; found && i < sizeof info; ++i)
      ours += Format("%02x", reinterpret_cast<unsigned char*>(&info)[i]);
    EXPECT_EQ(name + " " + ours, text);
    // A file still open (the updater's new files) reads the same.
    fs::FileHandle open = fs::FileHandle::Open(Pe(name), fs::kGenericRead, 0, fs::kOpenExisting);
    FileVersion byHandle;
    EXPECT_TRUE(ReadFileVersion(open, byHandle) && byHandle.found == found) << name;
    EXPECT_EQ(std::memcmp(&byHandle.info, &info, found ? sizeof info : 0), 0) << name;
  }
  EXPECT_EQ(lines.size(), 9u);
#endif
}

TEST(VerInfo, ComparesFileVersionsPartByPartAsNumbers) {
  EXPECT_EQ(CompareFixedFileInfo(Info(2, 1, 0, 5), Info(2, 1, 0, 12)), -7);
  EXPECT_EQ(CompareFixedFileInfo(Info(3, 0, 0, 0), Info(2, 9, 9, 9)), 1);
  EXPECT_LT(CompareFixedFileInfo(Info(1, 0, 0, 0), Info(1, 0, 0, 65535)), 0);
  VsFixedFileInfo other = Info(1, 2, 3, 4);
  other.dwProductVersionMS = 0x00090000;
  EXPECT_EQ(CompareFixedFileInfo(Info(1, 2, 3, 4), other), 0);
  // Files, read as the table above checks: a missing block counts as lower
  // than any version.
  EXPECT_GT(CompareFileVersions(Pe("ver_1_10_0_0.exe"), Pe("ver_1_9_0_0.exe")), 0);
  EXPECT_EQ(CompareFileVersions(Pe("ver_1_9_0_0.exe"), Pe("no_version.exe")), 1);
  EXPECT_EQ(CompareFileVersions(Pe("missing.exe"), Pe("ver_1_9_0_0.exe")), -1);
  EXPECT_EQ(CompareFileVersions(Pe("no_version.exe"), Pe("make.sh")), 0);
}

}  // namespace
}  // namespace slv2::pe
