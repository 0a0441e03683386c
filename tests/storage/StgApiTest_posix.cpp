#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TestSupport.h"
#include "storage/StgApi.h"

namespace slv2::stg {
namespace {

constexpr uint32_t kReadDenyWrite = kStgmRead | kStgmShareDenyWrite;
constexpr uint32_t kReadDenyNone = kStgmRead | kStgmShareDenyNone;
constexpr uint32_t kWriteExclusive = kStgmReadWrite | kStgmShareExclusive;

// Another process that opens a compound file and keeps it open until the
// object goes.
class OtherProcess {
 public:
  OtherProcess(const std::string& path, uint32_t mode) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_) != 0) throw std::runtime_error("socketpair");
    pid_ = ::fork();
    if (pid_ == 0) {
      std::unique_ptr<IStorage> root;
      char result = StgOpenStorage(path, mode, &root) == kS_OK ? 'y' : 'n';
      if (::write(fds_[1], &result, 1) == 1) (void)!::read(fds_[1], &result, 1);  // until we go
      ::_exit(0);
    }
    ::close(fds_[1]);
    if (::read(fds_[0], &result_, 1) != 1) result_ = '?';
  }
  ~OtherProcess() {
    if (::write(fds_[0], "x", 1) == 1) ::waitpid(pid_, nullptr, 0);
    ::close(fds_[0]);
  }
  bool Opened() const { return result_ == 'y'; }

 private:
  int fds_[2];
  pid_t pid_;
  char result_ = '?';
};

TEST(StgApi, ShareModesOfTheRootHoldBetweenProcesses) {
  ::slv2::test::TempDir dir;
  std::string path = dir / "shared.stg";
  std::unique_ptr<IStorage> root;
  ASSERT_EQ(StgCreateDocfile(path, kStgmCreate | kWriteExclusive, &root), kS_OK);
  std::unique_ptr<IStream> stream;
  ASSERT_EQ(root->CreateStream(u"s", kStgmCreate | kWriteExclusive, &stream), kS_OK);
  ASSERT_EQ(stream->Write("data", 4, nullptr), kS_OK);
  stream.reset();
  root.reset();
  {
    OtherProcess reader(path, kReadDenyWrite);
    ASSERT_TRUE(reader.Opened());
    EXPECT_EQ(StgOpenStorage(path, kWriteExclusive, &root), kStgEShareViolation);
    EXPECT_EQ(StgCreateDocfile(path, kStgmCreate | kWriteExclusive, &root), kStgEShareViolation);
    EXPECT_EQ(StgOpenStorage(path, kReadDenyWrite, &root), kS_OK);  // readers share
    ASSERT_EQ(root->OpenStream(u"s", kStgmRead | kStgmShareExclusive, &stream), kS_OK);
    char buffer[8];
    uint32_t read = 0;
    stream->Read(buffer, sizeof buffer, &read);
    EXPECT_EQ(std::string(buffer, read), "data");  // the refused creation truncated nothing
    stream.reset();
    root.reset();
  }
  {
    OtherProcess writer(path, kWriteExclusive);
    ASSERT_TRUE(writer.Opened());
    EXPECT_EQ(StgOpenStorage(path, kReadDenyWrite, &root), kStgEShareViolation);
    EXPECT_EQ(StgOpenStorage(path, kReadDenyNone, &root), kStgEShareViolation);
    OtherProcess second(path, kWriteExclusive);
    EXPECT_FALSE(second.Opened());
  }
  EXPECT_EQ(StgOpenStorage(path, kWriteExclusive, &root), kS_OK);
}

TEST(StgApi, MessagesAreTheWindowsTextsWithoutTrailingStops) {
  EXPECT_EQ(HResultMessage(kStgEFileNotFound), "%1 could not be found");
  for (HRESULT code : {kStgEInvalidFunction, kStgEPathNotFound, kStgEAccessDenied,
                       kStgEInsufficientMemory, kStgEWriteFault, kStgEReadFault,
                       kStgEFileAlreadyExists, kStgEMediumFull, kStgEInvalidHeader,
                       kStgEInvalidName, kStgEInvalidFlag, kStgEDocFileTooLarge, kStgEUnknown}) {
    std::string text = HResultMessage(code);
    EXPECT_FALSE(text.empty() || text.back() == '.' || text.back() == ' ') << text;
    EXPECT_EQ(text.find("Unknown error"), std::string::npos) << text;
  }
  EXPECT_EQ(HResultMessage(Code(0x80031234)), "Unknown error 0x80031234");
}

}  // namespace
}  // namespace slv2::stg
