// One compiled regular expression over the PCRE library (classic interface),
// with the Windows-1251 character tables. Created once per pattern and
// reused for every subject; each Match overwrites the subject, the match
// vector and the last result, so an object serves one match loop at a time.
//
// A pattern that does not compile raises nothing: the object stays without a
// compiled pattern, every Match reports no match, and the error text and
// offset are kept for inspection.
//
// Every match attempt (one start position) runs under PCRE's two limits: at
// most kMatchLimit steps, and a recursion no deeper than the calling thread's
// free stack allows (the classic matcher recurses on the C stack, and a
// repeated group over a long subject would otherwise overflow it). PCRE
// counts its steps per start position only, so a search that tries every
// position of a long subject could still run for hours: before each attempt
// the object looks at its work limit (StartWork) and at the stop request
// (SetStopRequest). A match that hits any of these ends with a negative
// result and MatchFailed(): it tells neither "match" nor "none".
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct real_pcre;
struct pcre_extra;

namespace slv2 {

class TPcreRegExp {
 public:
  // PCRE_DOTALL: "." matches line breaks too. "^" and "$" refer to the whole
  // subject; matching is case-sensitive unless the pattern says (?i).
  static constexpr uint32_t kDefaultCompileOptions = 4;
  // PCRE's own default: far more than any pattern of an update needs, and a
  // bound on the time a catastrophic one can take per match attempt.
  static constexpr unsigned long kMatchLimit = 10000000;

  explicit TPcreRegExp(std::string pattern, uint32_t compileOptions = kDefaultCompileOptions);
  ~TPcreRegExp();
  TPcreRegExp(const TPcreRegExp&) = delete;
  TPcreRegExp& operator=(const TPcreRegExp&) = delete;

  // (Re)compiles and studies the pattern; true when both succeeded. The
  // constructor calls it.
  bool Compile();

  // The matches from now on share one limit of time, kWorkTime plus
  // kWorkTimePerMiB for each MiB of `subjectSize`: work that grows with the
  // text is allowed for, work that grows faster (every start position
  // searching to the end) ends within seconds. Without a call, no limit.
  static constexpr std::chrono::milliseconds kWorkTime{2000};
  static constexpr std::chrono::milliseconds kWorkTimePerMiB{250};
  void StartWork(size_t subjectSize);

  // A request to stop that every match of every object honours before its
  // next start position (a signal asking the program to end): `requested`
  // must be safe to call from any thread; nullptr: none.
  static void SetStopRequest(bool (*requested)() noexcept);

  // Searches the subject from a 1-based start position. Returns the number of
  // captured pairs set (the whole match counts), or a negative value for no
  // match. The object keeps its own copy of the subject; passing Subject()
  // back in does not copy it again.
  int Match(std::string_view subject, int startPosition);
  // The last Match's result; -1 before any and after a compile.
  int LastResult() const { return lastResult_; }
  // The last Match gave up (a limit was hit) instead of finding a match or
  // none.
  bool MatchFailed() const;
  // What made it give up: "the match limit", "the recursion limit", "the
  // time limit", "a request to stop", or the library's error number.
  std::string MatchFailure() const;
  // The 0-based byte offset and the length of the whole match.
  int MatchStart() const { return vector_.empty() ? -1 : vector_[0]; }
  int MatchLength() const { return vector_.empty() ? 0 : vector_[1] - vector_[0]; }
  // The bytes of capture `index` (0 is the whole match); empty for a capture
  // that did not take part or does not exist.
  std::string SubString(int index) const;

  const std::string& Pattern() const { return pattern_; }
  const std::string& Subject() const { return subject_; }
  const std::string& ErrorText() const { return errorText_; }
  int ErrorOffset() const { return errorOffset_; }

 private:
  struct CodeDeleter {
    void operator()(real_pcre* code) const;
  };
  struct StudyDeleter {
    void operator()(pcre_extra* study) const;
  };

  std::unique_ptr<real_pcre, CodeDeleter> code_;
  std::unique_ptr<pcre_extra, StudyDeleter> study_;
  std::vector<int> vector_;
  std::string pattern_;
  std::string subject_;
  int lastResult_ = -1;
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
  std::string errorText_;
  int errorOffset_ = 0;
  uint32_t compileOptions_;
};

}  // namespace slv2
