#include "sys/PcreRegExp.h"

#include <pcre.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <mutex>

#include "sys/PcreTables.h"
#include "sys/StackSpace.h"

namespace slv2 {

static_assert(TPcreRegExp::kDefaultCompileOptions == PCRE_DOTALL);

namespace {

// The stack one level of the matcher's recursion takes: PCRE reports it when
// asked with these impossible arguments (as a negative number).
size_t MatcherFrameBytes() {
  static const size_t frame = [] {
    int reported = -pcre_exec(nullptr, nullptr, nullptr, -999, -999, 0, nullptr, 0);
    // A library that cannot tell: a frame larger than any build's.
    return reported > 0 ? static_cast<size_t>(reported) : size_t{2048};
  }();
  return frame;
}

// How deep the matcher may recurse on this thread: its free stack, less what
// the callers and a signal handler may still need, in frames a quarter
// larger than reported, and at least a little so that plain patterns work.
unsigned long RecursionLimit() {
  constexpr size_t kReserve = 128 * 1024;
  size_t free = RemainingStackBytes();
  size_t usable = free > kReserve ? free - kReserve : 0;
  size_t frame = MatcherFrameBytes() + MatcherFrameBytes() / 4;
  return std::max<unsigned long>(16, usable / frame);
}

// What the callout before each attempt answers to end the match; pcre_exec
// returns it.
constexpr int kOutOfTime = -1001;
constexpr int kStopped = -1002;

std::atomic<bool (*)() noexcept> g_stopRequested{nullptr};

int BeforeAttempt(pcre_callout_block* block) {
  if (auto requested = g_stopRequested.load(); requested && requested()) return kStopped;
  const auto* deadline =
      static_cast<const std::chrono::steady_clock::time_point*>(block->callout_data);
  if (deadline && std::chrono::steady_clock::now() >= *deadline) return kOutOfTime;
  return 0;
}

// Where the callout goes that runs before each attempt: first in the
// pattern, after the option settings such as (*CR) that must stay first.
// PCRE still skips the start positions where no match can begin without
// running it, so it costs little.
size_t StartCalloutAt(const std::string& pattern) {
  size_t at = 0;
  while (pattern.compare(at, 2, "(*") == 0) {
    size_t close = pattern.find(')', at);
    if (close == std::string::npos || close == at + 2) break;
    for (size_t i = at + 2; i < close; ++i) {
      char c = pattern[i];
      if (!(c >= 'A' && c <= 'Z') && !(c >= '0' && c <= '9') && c != '_' && c != '=') return at;
    }
    at = close + 1;
  }
  return at;
}

constexpr char kStartCallout[] = "(?C)";
constexpr int kStartCalloutLength = sizeof kStartCallout - 1;

}  // namespace

void TPcreRegExp::SetStopRequest(bool (*requested)() noexcept) {
  g_stopRequested.store(requested);
}

void TPcreRegExp::StartWork(size_t subjectSize) {
  deadline_ = std::chrono::steady_clock::now() + kWorkTime +
              kWorkTimePerMiB * static_cast<int64_t>(subjectSize >> 20);
}

void TPcreRegExp::CodeDeleter::operator()(real_pcre* code) const {
  pcre_free(code);
}
void TPcreRegExp::StudyDeleter::operator()(pcre_extra* study) const {
  pcre_free_study(study);
}

TPcreRegExp::TPcreRegExp(std::string pattern, uint32_t compileOptions)
    : pattern_(std::move(pattern)), compileOptions_(compileOptions) {
  Compile();
}

TPcreRegExp::~TPcreRegExp() = default;

bool TPcreRegExp::Compile() {
  study_.reset();
  code_.reset();
  vector_.clear();
  lastResult_ = -1;
  errorText_.clear();
  errorOffset_ = 0;

  static std::once_flag callout;
  std::call_once(callout, [] { pcre_callout = BeforeAttempt; });
  const size_t at = StartCalloutAt(pattern_);
  std::string compiled = pattern_;
  compiled.insert(at, kStartCallout);
  const char* error = nullptr;
  code_.reset(pcre_compile(compiled.c_str(), static_cast<int>(compileOptions_), &error,
                           &errorOffset_, Cp1251PcreTables()));
  if (!code_) {
    errorText_ = error ? error : "";
    // The offset in the pattern as given.
    if (errorOffset_ >= static_cast<int>(at) + kStartCalloutLength) {
      errorOffset_ -= kStartCalloutLength;
    } else if (errorOffset_ > static_cast<int>(at)) {
      errorOffset_ = static_cast<int>(at);
    }
    return false;
  }
  study_.reset(pcre_study(code_.get(), 0, &error));
  int captures = 0;
  pcre_fullinfo(code_.get(), study_.get(), PCRE_INFO_CAPTURECOUNT, &captures);
  vector_.assign(static_cast<size_t>(captures + 1) * 6, -1);
  if (error) {
    errorText_ = error;
    return false;
  }
  return true;
}

int TPcreRegExp::Match(std::string_view subject, int startPosition) {
  if (subject.data() != subject_.data() || subject.size() != subject_.size()) {
    subject_ = std::string(subject);
    lastResult_ = -1;
  }
  if (subject_.size() > static_cast<size_t>(INT_MAX)) {
    lastResult_ = PCRE_ERROR_BADLENGTH;
  } else {
    pcre_extra extra = study_ ? *study_ : pcre_extra{};
    extra.flags |=
        PCRE_EXTRA_MATCH_LIMIT | PCRE_EXTRA_MATCH_LIMIT_RECURSION | PCRE_EXTRA_CALLOUT_DATA;
    extra.match_limit = kMatchLimit;
    extra.match_limit_recursion = RecursionLimit();
    bool limited = deadline_ != std::chrono::steady_clock::time_point::max();
    extra.callout_data = limited ? &deadline_ : nullptr;
    // Without a compiled pattern pcre_exec refuses with PCRE_ERROR_NULL.
    lastResult_ = pcre_exec(code_.get(), &extra, subject_.data(), static_cast<int>(subject_.size()),
                            startPosition - 1, 0, vector_.data(), static_cast<int>(vector_.size()));
  }
  return lastResult_;
}

bool TPcreRegExp::MatchFailed() const {
  return lastResult_ < 0 && lastResult_ != PCRE_ERROR_NOMATCH && lastResult_ != PCRE_ERROR_NULL;
}

std::string TPcreRegExp::MatchFailure() const {
  if (lastResult_ == PCRE_ERROR_MATCHLIMIT) return "the match limit";
  if (lastResult_ == PCRE_ERROR_RECURSIONLIMIT) return "the recursion limit";
  if (lastResult_ == kOutOfTime) return "the time limit";
  if (lastResult_ == kStopped) return "a request to stop";
  return "PCRE error " + std::to_string(lastResult_);
}

std::string TPcreRegExp::SubString(int index) const {
  if (index < 0 || index >= lastResult_) return std::string();
  int start = vector_[static_cast<size_t>(index) * 2];
  int end = vector_[static_cast<size_t>(index) * 2 + 1];
  if (start < 0 || end < start) return std::string();
  return subject_.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
}

}  // namespace slv2
