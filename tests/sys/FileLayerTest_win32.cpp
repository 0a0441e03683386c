// What the Windows file layer keeps of a file it replaces.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "sys/FileLayer.h"
#include "sys/WindowsApi.h"

// After <windows.h>, which it needs.
#include <sddl.h>

namespace slv2::fs {
namespace {

// The file's owner and access list as text (SDDL), "" when unreadable.
std::string SecurityText(const std::string& path) {
  constexpr SECURITY_INFORMATION kWhat = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD size = 0;
  ::GetFileSecurityA(path.c_str(), kWhat, nullptr, 0, &size);
  std::string descriptor(size, '\0');
  char* text = nullptr;
  if (size == 0 || !::GetFileSecurityA(path.c_str(), kWhat, descriptor.data(), size, &size) ||
      !::ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor.data(), SDDL_REVISION_1,
                                                              kWhat, &text, nullptr)) {
    return "";
  }
  std::string out = text;
  ::LocalFree(text);
  return out;
}

TEST(FileLayerWin32Test, AReplacedFileKeepsItsOwnerAndAccessList) {
  test::TempDir dir;
  std::string target = dir / "results.db", replacement = dir / "new.tmp";
  test::WriteFile(target, "old");
  test::WriteFile(replacement, "new");
  // A protected list of its own, as an administrator gives a results file:
  // everyone reads, the builtin users change.
  PSECURITY_DESCRIPTOR own = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(
      "D:P(A;;FR;;;WD)(A;;FA;;;BU)(A;;FA;;;BA)", SDDL_REVISION_1, &own, nullptr));
  ASSERT_TRUE(::SetFileSecurityA(target.c_str(), DACL_SECURITY_INFORMATION, own));
  ::LocalFree(own);
  std::string before = SecurityText(target);
  ASSERT_NE(before, "");
  bool told = SecurityText(replacement) != before;
  ASSERT_TRUE(ReplaceFile(replacement, target));
  EXPECT_EQ(test::ReadFile(target), "new");
  if (!told) SLV2_SKIP_ON_WINE("a file's own access list is not kept on this file system");
  EXPECT_EQ(SecurityText(target), before);
}

}  // namespace
}  // namespace slv2::fs
