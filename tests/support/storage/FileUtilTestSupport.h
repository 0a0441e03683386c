// The folder tree the file utilities are tested on, and their listings.
#pragma once

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "storage/FileUtil.h"
#include "sys/FileLayer.h"

namespace slv2::test {

// A tree whose files hold their own relative names:
// a/{f1, g.txt, b/{w.txt, c/x.txt}, s/{f2.txt, t/h.txt}} and outside/keep.txt.
class FileUtilTree : public ::testing::Test {
 protected:
  using Names = std::vector<std::string>;
  static constexpr uint32_t kFull = TFileListOption::FullNames;
  static constexpr uint32_t kTree = TFileListOption::FullNames | TFileListOption::Recursive;

  void SetUp() override {
    for (const char* name : {"a/f1", "a/g.txt", "a/b/w.txt", "a/b/c/x.txt", "a/s/f2.txt",
                             "a/s/t/h.txt", "outside/keep.txt"}) {
      WriteFile(dir / name, name);
    }
  }
  // What EnumFiles reports, stopping after `stopAt`; `count` gets its result.
  Names Enum(const std::string& mask, uint32_t filter, int* count = nullptr,
             const std::string& stopAt = "") {
    Names seen;
    auto callback = [&](const std::string& name, uint32_t user) {
      EXPECT_EQ(user, 7u);
      seen.push_back(name);
      return name == stopAt;
    };
    int n = TgmFileUtil::EnumFiles(mask, filter, 7, callback, true);
    if (count) *count = n;
    return seen;
  }
  Names List(const std::string& mask, uint32_t options, TAttrMatch match = TAttrMatch::Any,
             uint32_t attr = 0) {
    Names names;
    EXPECT_TRUE(BuildFileList(mask, attr, names, match, options));
    return names;
  }

  TempDir dir;
};

}  // namespace slv2::test
