// The corpus runs the updater a few hundred times, and its durable file
// replacements and registry commits flush to disk each time: on a disk that
// is most of the run time. Where a memory file system is at hand, the
// temporary folders of this program go there.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

class MemoryTempFolder : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* shm = "/dev/shm";
    if (::access(shm, W_OK | X_OK) != 0) return;
    std::string pattern = std::string(shm) + "/slv2-hostile-XXXXXX";
    if (!::mkdtemp(pattern.data())) return;
    folder_ = pattern;
    if (const char* previous = std::getenv("TMPDIR")) previous_ = previous;
    ::setenv("TMPDIR", folder_.c_str(), 1);
  }
  void TearDown() override {
    if (folder_.empty()) return;
    previous_.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", previous_.c_str(), 1);
    ::rmdir(folder_.c_str());  // the tests' own folders are gone by now
  }

 private:
  std::string folder_;
  std::string previous_;
};

const auto* const kRegistered = ::testing::AddGlobalTestEnvironment(new MemoryTempFolder);

}  // namespace
