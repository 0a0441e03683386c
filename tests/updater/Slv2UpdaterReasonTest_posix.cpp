// A failed file step on a real file system that refuses it (a full tmpfs, a
// read-only one) says why, on a line of its own after its own line: what the
// fault sweep's injected failures cannot show. Needs the right to mount.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include "UpdaterFixture.h"
#include "sys/Cp1251.h"

namespace slv2::test {
namespace {

// A tmpfs of its own over the product folder for the object's life, holding
// the product's one file; made read-only when asked. Needs CAP_SYS_ADMIN.
class ScopedTmpfs {
 public:
  ScopedTmpfs(const std::string& product, bool readOnly) : FFolder(AnsiToUtf8(product)) {
    FMounted = ::mount("tmpfs", FFolder.c_str(), "tmpfs", 0, "size=64k") == 0;
    if (!FMounted) return;
    WriteFile(Join(product, "keep.txt"), "product file");
    if (readOnly) {
      FMounted =
          ::mount(nullptr, FFolder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=64k") == 0;
    }
  }
  ~ScopedTmpfs() { ::umount2(FFolder.c_str(), MNT_DETACH); }
  bool Mounted() const { return FMounted; }

 private:
  std::string FFolder;
  bool FMounted = false;
};

class UpdaterReasonTest : public UpdaterFixture {};

TEST_F(UpdaterReasonTest, AFailedFileStepSaysWhyOnALineOfItsOwn) {
  struct Case {
    const char* what;
    bool readOnly;
    const char* element;
    std::string content;
    std::string line;  // how the error line begins
    const char* reason;
  };
  const Case cases[] = {
      {"a new file on a full disk", false, "files/product/big.bin", std::string(256 * 1024, 'x'),
       "ERROR ProcessFile() failed: ESlvUpdater (Error extracting \"big.bin\" stream to \"",
       "There is not enough space on the disk"},
      {"a replaced file in a read-only folder", true, "files/product/keep.txt", "new",
       "ERROR ProcessFile() failed: ESlvUpdater (Error creating temp file in \"" + product + "/\")",
       "Access is denied"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    log.Clear();
    machine.Pack("testprod", {{c.element, c.content}});
    {
      ScopedTmpfs mount(product, c.readOnly);
      if (!mount.Mounted()) GTEST_SKIP() << "mounting a tmpfs needs CAP_SYS_ADMIN";
      Make()->Execute();
      EXPECT_EQ(ReadFile(Join(product, "keep.txt")), "product file");
    }
    bool found = false;
    for (const std::string& line : log.Lines())
      found =
          found || (line.rfind(c.line, 0) == 0 && line.ends_with(std::string("\r\n  ") + c.reason));
    EXPECT_TRUE(found) << log.Text();
  }
}

}  // namespace
}  // namespace slv2::test
