// The folder tree the file utilities are tested on.
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
  void SetUp() override {
    for (const char* name : {"a/f1", "a/g.txt", "a/b/w.txt", "a/b/c/x.txt", "a/s/f2.txt",
                             "a/s/t/h.txt", "outside/keep.txt"}) {
      WriteFile(dir / name, name);
    }
  }
  TempDir dir;
};

}  // namespace slv2::test
