// An appender that writes to a file, for diagnosis: attached to the
// updaters' categories on request, it keeps their whole trail. Lines are
// appended as program text (Windows-1251) and written through at once, so
// the file is complete up to a crash. Nothing attaches it by default.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "log/LogAppender.h"
#include "sys/FileLayer.h"

namespace slv2 {

class TLogFileAppender : public TLogAppender {
 public:
  // Opens the file for appending, creating it when missing; others may read
  // it meanwhile. nullptr when it cannot be opened (fs::LastError() says
  // why). `shown` names it in messages when its path is not the name the
  // user knows it by.
  static std::shared_ptr<TLogFileAppender> Open(std::string_view path, std::string shown = {},
                                                std::unique_ptr<TLogLayout> layout = nullptr);

  TLogFileAppender(fs::FileHandle file, std::string path,
                   std::unique_ptr<TLogLayout> layout = nullptr);

  // Writes a line of its own at once (CR LF added), outside any event; false,
  // with fs::LastError() set, when the file takes nothing (a full disk), so
  // that a caller can say so before anything is logged to it.
  bool WriteLine(std::string_view line);

  // The first write of an event the file did not take, as a sentence naming
  // the file and the reason; empty while every one went in. The owner of the
  // run reads it at the end and fails the run: the log is not complete.
  std::string Failure() const;

 protected:
  // After a failed write nothing more is written: a log with a hole would
  // read as complete. The failure is kept for Failure(), not reported on
  // the internal log, whose lines would land among the run's own output.
  void Write(const std::string& text) override;

 private:
  fs::FileHandle file_;
  std::string path_;
  mutable std::mutex failureLock_;
  std::string failure_;
};

}  // namespace slv2
