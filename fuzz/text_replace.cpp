// Arbitrary patterns, templates and subjects through the replace loops and
// the wildcard matcher. Input: pattern, NUL, template, NUL, subject.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sys/RegExReplace.h"
#include "sys/StrUtil.h"

namespace {

// The program cuts a search at its time limit of seconds; here a search is
// stopped far sooner, so that the fuzzer spends its time on many inputs and
// not on the limit of a few catastrophic patterns.
std::chrono::steady_clock::time_point g_until;

bool OutOfTime() noexcept {
  return std::chrono::steady_clock::now() >= g_until;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  slv2::TPcreRegExp::SetStopRequest(OutOfTime);
  g_until = std::chrono::steady_clock::now() + std::chrono::milliseconds(5);
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t first = input.find('\0');
  if (first == std::string_view::npos) return 0;
  size_t second = input.find('\0', first + 1);
  if (second == std::string_view::npos) return 0;
  std::string pattern(input.substr(0, first));
  std::string_view replaceTemplate = input.substr(first + 1, second - first - 1);
  std::string_view subject = input.substr(second + 1);

  slv2::TPcreRegExp re(pattern);
  int count = 0;
  bool matched = false;
  slv2::RegExReplaceAll(subject, re, replaceTemplate, count, matched);
  // Putting every match back unchanged must give the subject again, empty
  // matches included.
  auto same = [](slv2::TPcreRegExp& r, std::string& out) { out = r.SubString(0); };
  if (slv2::RegExReplaceAllCallback(subject, re, matched, count, same) != subject) std::abort();

  slv2::MatchWildcard(subject, pattern);
  if (subject.find_first_of("*?") == std::string_view::npos &&
      !slv2::MatchWildcard(subject, subject)) {
    std::abort();
  }
  return 0;
}
