// Helpers of the logging tests: capturing standard error (the internal log's
// output on Linux) and the lines a category's appender receives.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/log/LogAppender.h"
#include "app/log/LogCategory.h"

namespace slv2::test {

// Sends file descriptor 2 into a temporary file until Text() is called.
class StderrCapture {
 public:
  StderrCapture() : file_(std::tmpfile()), saved_(dup(STDERR_FILENO)) {
    dup2(fileno(file_), STDERR_FILENO);
  }
  ~StderrCapture() {
    Text();
    std::fclose(file_);
  }
  std::string Text() {
    if (saved_ >= 0) {
      dup2(saved_, STDERR_FILENO);
      close(saved_);
      saved_ = -1;
    }
    std::string text;
    std::rewind(file_);
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, file_))
      text.append(buffer, n);
    return text;
  }

 private:
  std::FILE* file_;
  int saved_;
};

// Keeps every line it receives, prefixed with its tag.
class CaptureAppender : public TLogAppender {
 public:
  explicit CaptureAppender(std::string prefix = "") : tag(std::move(prefix)) {}
  std::string tag;
  std::shared_ptr<std::vector<std::string>> lines = std::make_shared<std::vector<std::string>>();

 protected:
  void Write(const std::string& text) override { lines->push_back(tag + text); }
};

// Attaches an appender to a category for the life of the object.
struct Attached {
  Attached(TLogCategory& c, std::shared_ptr<TLogAppender> a) : category(c), appender(a) {
    category.AddAppender(appender);
  }
  ~Attached() { category.RemoveAppender(appender); }
  TLogCategory& category;
  std::shared_ptr<TLogAppender> appender;
};

}  // namespace slv2::test
