// The setting of the product updater tests: the family in a fresh registry
// with the shell folder and the subject's product folder in a temporary
// directory.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "UpdaterTestSupport.h"

namespace slv2::test {

class ProductFixture : public ::testing::Test {
 protected:
  explicit ProductFixture(const std::string& productId)
      : shell(dir / "Solvane"), product(Join(shell, "") + productId) {
    InstallShell(FamilyLayout::Machine21, shell);
    InstallProduct(FamilyLayout::Machine21, productId, productId);
  }

  TempRegistry registry;
  TempDir dir;
  std::string shell, product;
  ScopedTempFolder temp{dir / "tmp"};
};

}  // namespace slv2::test
