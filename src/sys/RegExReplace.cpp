#include "sys/RegExReplace.h"

#include <algorithm>
#include <climits>

#include "sys/Format.h"
#include "sys/StrUtil.h"
#include "sys/StringBuffer.h"

namespace slv2 {
namespace {

// A match that gives up (a limit of the matcher) ends the loop with the
// source unchanged and the counts as they were: a partial result would look
// like a complete one.
template <typename Replacement>
std::string ReplaceLoop(std::string_view source, TPcreRegExp& regExp, int& count, bool& matched,
                        Replacement&& replacement) {
  regExp.StartWork(source.size());
  const int countBefore = count;
  const bool matchedBefore = matched;
  TStringBuffer out(static_cast<int>(std::min<size_t>(source.size(), INT_MAX)));
  std::string_view text = source;
  size_t copy = 0;    // 0-based: first byte not yet in the output
  size_t search = 0;  // 0-based: where the next match may start
  while (search <= source.size()) {
    if (regExp.Match(text, static_cast<int>(search) + 1) < 0) break;
    // Later rounds search the object's own copy, which is not copied again.
    text = regExp.Subject();
    auto start = static_cast<size_t>(regExp.MatchStart());
    auto length = static_cast<size_t>(regExp.MatchLength());
    out.append(source.substr(copy, start - copy));
    out.append(replacement());
    ++count;
    matched = true;
    copy = search = start + length;
    if (length == 0) {
      // An empty match would be found here again: step over one byte.
      if (start < source.size()) out.append(source.substr(start, 1));
      copy = search = start + 1;
    }
  }
  if (regExp.MatchFailed()) {
    count = countBefore;
    matched = matchedBefore;
    return std::string(source);
  }
  if (copy < source.size()) out.append(source.substr(copy));
  return out.toString();
}

}  // namespace

std::string RegExReplaceAll(std::string_view source, TPcreRegExp& regExp,
                            std::string_view replaceTemplate, int& count, bool& matched) {
  return ReplaceLoop(source, regExp, count, matched,
                     [&] { return ExpandReplaceTemplate(regExp, replaceTemplate); });
}

std::string RegExReplaceAllCallback(std::string_view source, TPcreRegExp& regExp, bool& matched,
                                    int& count, const TRegExpReplaceCallback& callback) {
  std::string replacement;
  return ReplaceLoop(source, regExp, count, matched, [&]() -> const std::string& {
    callback(regExp, replacement);
    return replacement;
  });
}

std::string ExpandReplaceTemplate(const TPcreRegExp& regExp, std::string_view replaceTemplate) {
  std::string out(replaceTemplate);
  for (int i = 0; i < regExp.LastResult(); ++i) {
    out = ReplaceAll(out, Format("$%d", i), regExp.SubString(i), false);
  }
  return out;
}

}  // namespace slv2
