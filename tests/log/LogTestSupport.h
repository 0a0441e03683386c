// Helpers of the logging tests: capturing the debugger output (the internal
// log's output) and the lines a category's appender receives.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#include <thread>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "log/LogAppender.h"
#include "log/LogCategory.h"

namespace slv2::test {

#ifdef _WIN32
// Receives what OutputDebugStringA writes while no debugger is attached (the
// shared DBWIN buffer), until Text() is called; line ends read "\n".
class DebugOutputCapture {
 public:
  DebugOutputCapture()
      : mutex_(::CreateMutexA(nullptr, FALSE, "DBWinMutex")),
        bufferReady_(::CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY")),
        dataReady_(::CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY")),
        mapping_(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                      "DBWIN_BUFFER")),
        view_(static_cast<const char*>(::MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 4096))),
        listener_([this] { Listen(); }) {}
  ~DebugOutputCapture() {
    Text();
    ::UnmapViewOfFile(view_);
    for (HANDLE h : {mapping_, dataReady_, bufferReady_, mutex_})
      ::CloseHandle(h);
  }
  std::string Text() {
    if (listener_.joinable()) {
      stop_ = true;
      listener_.join();
    }
    std::string text;
    for (char c : received_) {
      if (c != '\r') text += c;
    }
    return text;
  }

 private:
  // A writer sets the data event before OutputDebugStringA returns, so what
  // was written before Text() is here once the last event is taken.
  void Listen() {
    ::SetEvent(bufferReady_);
    for (;;) {
      bool stopping = stop_;
      if (::WaitForSingleObject(dataReady_, stopping ? 0 : 20) == WAIT_OBJECT_0) {
        received_ += std::string(view_ + sizeof(DWORD));
        ::SetEvent(bufferReady_);
      } else if (stopping) {
        return;
      }
    }
  }

  HANDLE mutex_, bufferReady_, dataReady_, mapping_;
  const char* view_;
  std::string received_;
  std::atomic<bool> stop_{false};
  std::thread listener_;
};
#else
// Sends file descriptor 2, where Linux writes the debugger output, into a
// temporary file until Text() is called.
class DebugOutputCapture {
 public:
  DebugOutputCapture() : file_(std::tmpfile()), saved_(dup(STDERR_FILENO)) {
    dup2(fileno(file_), STDERR_FILENO);
  }
  ~DebugOutputCapture() {
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
#endif

// Keeps every line it receives, prefixed with its tag, in `lines` (which
// several appenders may share to show the order of their lines).
class CaptureAppender : public TLogAppender {
 public:
  using Lines = std::vector<std::string>;
  explicit CaptureAppender(std::string prefix = "",
                           std::shared_ptr<Lines> into = std::make_shared<Lines>())
      : tag(std::move(prefix)), lines(std::move(into)) {}
  std::string tag;
  std::shared_ptr<Lines> lines;

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
