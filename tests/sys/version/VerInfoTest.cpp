#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"
#include "sys/version/VerInfo.h"

namespace slv2 {
namespace {

std::string Pe(const char* name) {
  return test::TestDataPath(std::string("pe/") + name);
}

VsFixedFileInfo Info(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
  VsFixedFileInfo info{};
  info.dwFileVersionMS = uint32_t{a} << 16 | b;
  info.dwFileVersionLS = uint32_t{c} << 16 | d;
  return info;
}

TEST(VerInfo, ReadsTheFixedBlockAndLeavesTheInfoAloneWithoutOne) {
  VsFixedFileInfo info{};
  ASSERT_TRUE(GetFixedFileInfo(Pe("ver_2_1_0_5_product_9.dll"), info));
  uint16_t major, minor, release, build;
  GetFileVersionParts(info, major, minor, release, build);
  EXPECT_EQ(std::vector<int>({major, minor, release, build}), std::vector<int>({2, 1, 0, 5}));
  EXPECT_EQ(info.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(info.dwProductVersionMS, 0x00090009u);
  std::memset(&info, 0xA5, sizeof info);
  for (std::string file : {Pe("no_version.exe"), Pe("no_resources.exe"), Pe("make.sh"),
                           Pe("missing.exe"), test::TestDataPath("pe")}) {
    EXPECT_FALSE(GetFixedFileInfo(file, info)) << file;
    EXPECT_EQ(info.dwFileVersionMS, 0xA5A5A5A5u) << file;
  }
}

TEST(VerInfo, ComparesFileVersionsPartByPartAsNumbers) {
  EXPECT_EQ(CompareFixedFileInfo(Info(2, 1, 0, 5), Info(2, 1, 0, 12)), -7);
  EXPECT_EQ(CompareFixedFileInfo(Info(3, 0, 0, 0), Info(2, 9, 9, 9)), 1);
  EXPECT_LT(CompareFixedFileInfo(Info(1, 0, 0, 0), Info(1, 0, 0, 65535)), 0);
  VsFixedFileInfo other = Info(1, 2, 3, 4);
  other.dwProductVersionMS = 0x00090000;
  EXPECT_EQ(CompareFixedFileInfo(Info(1, 2, 3, 4), other), 0);
  // Files: a missing block counts as lower than any version.
  EXPECT_GT(CompareFileVersions(Pe("ver_1_10_0_0.exe"), Pe("ver_1_9_0_0.exe")), 0);
  EXPECT_EQ(CompareFileVersions(Pe("ver_2_1_0_5_product_9.dll"), Pe("ver_2_1_0_5_x86.exe")), 0);
  EXPECT_EQ(CompareFileVersions(Pe("ver_1_9_0_0.exe"), Pe("no_version.exe")), 1);
  EXPECT_EQ(CompareFileVersions(Pe("missing.exe"), Pe("ver_1_9_0_0.exe")), -1);
  EXPECT_EQ(CompareFileVersions(Pe("no_version.exe"), Pe("make.sh")), 0);
}

TEST(VerInfo, TheToolPrintsTheVersionOrNone) {
  test::TempDir dir;
  auto run = [&dir](const char* file) {
    EXPECT_EQ(test::RunProgram("slv2pack", {"version", Pe(file)}, dir / "out", dir / "err"), 0);
    return test::ReadFile(dir / "out");
  };
  EXPECT_EQ(run("ver_65535.exe") + run("no_version.exe") + run("missing.exe"),
            "65535.65535.65535.65535\nnone\nnone\n");
}

}  // namespace
}  // namespace slv2
