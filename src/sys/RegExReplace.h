// Regular-expression replace-all over a TPcreRegExp: with a "$n" template or
// with a callback that produces each replacement.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "sys/PcreRegExp.h"

namespace slv2 {

// Sets `replacement` to the text for the match the object stands on. The
// string keeps the previous replacement until the callback sets it (it is
// empty before the first match). The callback must not run other matches on
// the same object.
using TRegExpReplaceCallback = std::function<void(TPcreRegExp& regExp, std::string& replacement)>;

// The source with every match replaced by the expanded template. Adds the
// number of matches to `count` and sets `matched` when there was one; the
// caller initialises both. A match of the empty string copies the next byte
// unchanged and the search resumes after it, so every byte is looked at once.
// The matches share one limit of time (TPcreRegExp::StartWork). When a match
// gives up (regExp.MatchFailed(): a limit of the matcher, a request to
// stop), the result is the source unchanged and the counts stay as they were.
std::string RegExReplaceAll(std::string_view source, TPcreRegExp& regExp,
                            std::string_view replaceTemplate, int& count, bool& matched);

// The same loop with the callback's text as each replacement. Exceptions of
// the callback pass to the caller.
std::string RegExReplaceAllCallback(std::string_view source, TPcreRegExp& regExp, bool& matched,
                                    int& count, const TRegExpReplaceCallback& callback);

// The template with "$0", "$1", ... replaced by the captures of the current
// match, in that order and each everywhere. There is no escape for "$"; "$1"
// is put in before "$10" and so takes its first two characters ("$10" gives
// capture 1 and "0" when there are fewer than 10 captures); a "$n" that a
// capture brings in is replaced by a later step.
std::string ExpandReplaceTemplate(const TPcreRegExp& regExp, std::string_view replaceTemplate);

}  // namespace slv2
