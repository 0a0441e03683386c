#include "log/LogFileAppender.h"

#include "sys/Format.h"
#include "sys/WinError.h"

namespace slv2 {

std::shared_ptr<TLogFileAppender> TLogFileAppender::Open(std::string_view path, std::string shown,
                                                         std::unique_ptr<TLogLayout> layout) {
  fs::FileHandle file =
      fs::FileHandle::Open(path, fs::kGenericWrite, fs::kShareRead, fs::kOpenAlways);
  if (!file.Valid() || !file.Seek(0, fs::kSeekEnd, nullptr)) return nullptr;
  if (shown.empty()) shown = path;
  return std::make_shared<TLogFileAppender>(std::move(file), std::move(shown), std::move(layout));
}

TLogFileAppender::TLogFileAppender(fs::FileHandle file, std::string path,
                                   std::unique_ptr<TLogLayout> layout)
    : TLogAppender(std::move(layout)), file_(std::move(file)), path_(std::move(path)) {}

bool TLogFileAppender::WriteLine(std::string_view line) {
  std::string text = std::string(line) + "\r\n";
  return file_.Write(text.data(), text.size());
}

std::string TLogFileAppender::Failure() const {
  std::lock_guard<std::mutex> guard(failureLock_);
  return failure_;
}

void TLogFileAppender::Write(const std::string& text) {
  std::lock_guard<std::mutex> guard(failureLock_);
  if (!failure_.empty() || file_.Write(text.data(), text.size())) return;
  failure_ = Format("Cannot write the log file \"%s\": %s", path_.c_str(),
                    SysErrorMessage(fs::LastError()).c_str());
}

}  // namespace slv2
