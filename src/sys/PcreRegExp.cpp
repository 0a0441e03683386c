#include "sys/PcreRegExp.h"

#include <pcre.h>

#include <climits>

#include "sys/PcreTables.h"

namespace slv2 {

static_assert(TPcreRegExp::kDefaultCompileOptions == PCRE_DOTALL);

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
    // Without a compiled pattern pcre_exec refuses with PCRE_ERROR_NULL.
    lastResult_ =
        pcre_exec(code_.get(), study_.get(), subject_.data(), static_cast<int>(subject_.size()),
                  startPosition - 1, 0, vector_.data(), static_cast<int>(vector_.size()));
  }
  return lastResult_;
}

std::string TPcreRegExp::SubString(int index) const {
  if (index < 0 || index >= lastResult_) return std::string();
  int start = vector_[static_cast<size_t>(index) * 2];
  int end = vector_[static_cast<size_t>(index) * 2 + 1];
  if (start < 0 || end < start) return std::string();
  return subject_.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
}

}  // namespace slv2
