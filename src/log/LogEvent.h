// One log call, alive only while the appenders handle it.
#pragma once

#include <chrono>
#include <exception>
#include <string>
#include <thread>

#include "log/LogPriority.h"

namespace slv2 {

class TLogCategory;

struct TLogEvent {
  const TLogCategory* category = nullptr;
  const std::exception* error = nullptr;  // optional
  std::string message;
  const TLogPriority* priority = nullptr;
  std::chrono::system_clock::time_point time;
  std::thread::id threadId;
};

}  // namespace slv2
