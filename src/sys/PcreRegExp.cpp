#include "sys/PcreRegExp.h"

#include <pcre.h>

#include <algorithm>
#include <climits>

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

}  // namespace

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

  const char* error = nullptr;
  code_.reset(pcre_compile(pattern_.c_str(), static_cast<int>(compileOptions_), &error,
                           &errorOffset_, Cp1251PcreTables()));
  if (!code_) {
    errorText_ = error ? error : "";
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
    extra.flags |= PCRE_EXTRA_MATCH_LIMIT | PCRE_EXTRA_MATCH_LIMIT_RECURSION;
    extra.match_limit = kMatchLimit;
    extra.match_limit_recursion = RecursionLimit();
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
