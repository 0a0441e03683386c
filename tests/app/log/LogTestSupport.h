// Helpers of the logging tests: capturing the process's standard error (the
// internal log's output on Linux) and the lines a category receives.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/log/LogAppender.h"
#include "app/log/LogCategory.h"

namespace slv2::test {

// Sends file descriptor 2 into a temporary file until Text() or destruction.
class StderrCapture {
 public:
  StderrCapture() : file_(std::tmpfile()) {
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    dup2(fileno(file_), STDERR_FILENO);
  }
  ~StderrCapture() {
    Restore();
    std::fclose(file_);
  }
  std::string Text() {
    Restore();
    std::string text;
    std::rewind(file_);
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, file_))
      text.append(buffer, n);
    return text;
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    saved_ = -1;
  }
  std::FILE* file_;
  int saved_ = -1;
};

// Keeps every formatted line it receives, tagged when asked.
class CaptureAppender : public TLogAppender {
 public:
  explicit CaptureAppender(std::string tag = "", std::vector<std::string>* shared = nullptr)
      : tag_(std::move(tag)), lines_(shared ? shared : &own_) {}
  const std::vector<std::string>& Lines() const { return *lines_; }

 protected:
  void Write(const std::string& text) override { lines_->push_back(tag_ + text); }

 private:
  std::string tag_;
  std::vector<std::string> own_;
  std::vector<std::string>* lines_;
};

// Attaches an appender to a category for the life of the object.
class Attached {
 public:
  Attached(TLogCategory& category, std::shared_ptr<TLogAppender> appender)
      : category_(category), appender_(std::move(appender)) {
    category_.AddAppender(appender_);
  }
  ~Attached() { category_.RemoveAppender(appender_); }
  Attached(const Attached&) = delete;
  Attached& operator=(const Attached&) = delete;

 private:
  TLogCategory& category_;
  std::shared_ptr<TLogAppender> appender_;
};

}  // namespace slv2::test
