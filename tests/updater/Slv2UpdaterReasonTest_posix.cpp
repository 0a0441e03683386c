// A failed file step on a real file system that refuses it (a full tmpfs, a
// read-only one) says why, on a line of its own after its own line.
// Where mounting is not allowed (CI containers) the file layer's fault hook
// fails the same operation instead.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include "UpdaterFixture.h"
#include "sys/Cp1251.h"
#include "sys/FaultInjection.h"

namespace slv2::test {
namespace {

namespace fault = fs::fault;

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

class UpdaterReasonTest : public UpdaterFixture {
 protected:
  void TearDown() override { fault::Disarm(); }
};

TEST_F(UpdaterReasonTest, AFailedFileStepSaysWhyOnALineOfItsOwn) {
  const std::string full = "There is not enough space on the disk";
  struct Case {
    const char* what;
    bool readOnly;
    unsigned faulted;  // the operation that fails without a mount
    const char* element;
    std::string content;
    std::string line;    // how the error line begins
    std::string reason;  // on the real file system
  };
  const Case cases[] = {
      {"a new file on a full disk", false, fault::kWrite, "files/product/big.bin",
       std::string(256 * 1024, 'x'),
       "ERROR ProcessFile() failed: ESlvUpdater (Error extracting \"big.bin\" stream to \"", full},
      {"a replaced file in a read-only folder", true, fault::kCreate, "files/product/keep.txt",
       "new",
       "ERROR ProcessFile() failed: ESlvUpdater (Error creating temp file in \"" + product + "/\")",
       "Access is denied"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    log.Clear();
    std::string reason = c.reason;
    StorageWriter(storageFile).Add(c.element, c.content);
    {
      ScopedTmpfs mount(product, c.readOnly);
      std::unique_ptr<TSlv2Updater> updater = Make();
      if (!mount.Mounted()) {
        fault::Arm(1, c.faulted);
        reason = full;
      }
      updater->Execute();
      fault::Disarm();
      EXPECT_EQ(Content(Join(product, "keep.txt")), "product file");
    }
    bool found = false;
    for (const std::string& line : log.Lines())
      found = found || (line.rfind(c.line, 0) == 0 && line.ends_with("\r\n  " + reason));
    EXPECT_TRUE(found) << log.Text();
  }
}

}  // namespace
}  // namespace slv2::test
