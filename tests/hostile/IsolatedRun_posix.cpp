#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <exception>

#include "IsolatedRun.h"
#include "sys/Cp1251.h"

namespace slv2::test {

namespace {

using Clock = std::chrono::steady_clock;

// The child's whole life: it never returns into the test framework, and its
// exit skips every destructor (the parent owns the temporary folders).
[[noreturn]] void RunChild(int out, const std::string& folder,
                           const std::function<std::string()>& work) {
  ::setpgid(0, 0);
  int status = 0;
  std::string report;
  if (::chdir(AnsiToUtf8(folder).c_str()) != 0) {
    report = "cannot enter " + folder;
    status = 3;
  } else {
    try {
      report = work();
    } catch (const std::exception& e) {
      report = std::string("exception escaped: ") + e.what();
      status = 4;
    }
  }
  for (size_t done = 0; done < report.size();) {
    ssize_t n = ::write(out, report.data() + done, report.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::_exit(status);
}

}  // namespace

IsolatedOutcome RunIsolated(const std::string& folder, std::chrono::milliseconds limit,
                            const std::function<std::string()>& work) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return {IsolatedOutcome::kCrashed, "pipe failed", {}, {}};
  Clock::time_point start = Clock::now(), deadline = start + limit;
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipeFds[0]);
    RunChild(pipeFds[1], folder, work);
  }
  ::close(pipeFds[1]);
  IsolatedOutcome outcome;
  if (pid < 0) {
    ::close(pipeFds[0]);
    return {IsolatedOutcome::kCrashed, std::string("fork failed: ") + std::strerror(errno), {}, {}};
  }
  // Reads the report until the child closes the pipe (by ending) or time runs out.
  bool timedOut = false;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{pipeFds[0], POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[4096];
    ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    outcome.report.append(buffer, static_cast<size_t>(n));
  }
  ::close(pipeFds[0]);
  int status = 0;
  // The pipe closes as the child ends; its descendants may linger a moment.
  while (!timedOut && ::waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      timedOut = true;
      break;
    }
    ::usleep(1000);
  }
  outcome.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  if (timedOut) {
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    outcome.kind = IsolatedOutcome::kTimedOut;
    outcome.report.clear();
    return outcome;
  }
  if (WIFSIGNALED(status)) {
    outcome.kind = IsolatedOutcome::kCrashed;
    outcome.how = std::string("signal ") + strsignal(WTERMSIG(status));
  } else if (WEXITSTATUS(status) != 0) {
    outcome.kind = IsolatedOutcome::kCrashed;
    outcome.how = "exit status " + std::to_string(WEXITSTATUS(status)) + ": " + outcome.report;
  }
  return outcome;
}

}  // namespace slv2::test
