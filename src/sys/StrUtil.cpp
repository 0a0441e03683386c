#include "sys/StrUtil.h"

#include "sys/Cp1251.h"

namespace slv2 {

std::string ReplaceAll(std::string_view source, std::string_view search,
                       std::string_view replacement, bool ignoreCase, int* count) {
  int found = 0;
  if (count) *count = 0;
  if (search.size() == 1 && replacement.size() == 1) {
    std::string out(source);
    char wanted = ignoreCase ? AnsiUpperChar(search[0]) : search[0];
    for (char& c : out) {
      if ((ignoreCase ? AnsiUpperChar(c) : c) != wanted) continue;
      c = replacement[0];
      ++found;
    }
    if (count) *count = found;
    return out;
  }
  if (search.empty()) return std::string(source);

  // Search in folded copies; positions are the same as in the source.
  std::string foldedSource, foldedSearch;
  std::string_view haystack = source, needle = search;
  if (ignoreCase) {
    foldedSource = AnsiUpperCase(source);
    foldedSearch = AnsiUpperCase(search);
    haystack = foldedSource;
    needle = foldedSearch;
  }
  std::string out;
  out.reserve(source.size());
  size_t from = 0;
  for (size_t at = haystack.find(needle); at != std::string_view::npos;
       at = haystack.find(needle, from)) {
    out.append(source.substr(from, at - from));
    out.append(replacement);
    from = at + needle.size();
    ++found;
  }
  if (count) *count = found;
  out.append(source.substr(from));
  return out;
}

bool IsPosixFormPath(std::string_view path) {
  return !path.empty() && path[0] == '/' && (path.size() == 1 || path[1] != '/');
}

bool IsAbsolutePath(std::string_view path) {
  auto delimiter = [&](size_t i) { return path.size() > i && (path[i] == '\\' || path[i] == '/'); };
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (IsPosixFormPath(path)) return true;
  if (path.size() >= 3 && letter(path[0]) && path[1] == ':' && delimiter(2)) return true;
  return delimiter(0) && delimiter(1) && path.size() > 2 && !delimiter(2);
}

std::string JoinPath(std::string_view a, std::string_view b) {
  if (IsPosixFormPath(a)) {
    std::string out(a);
    if (b.empty()) return out;
    if (out.back() != '/' && out.back() != '\\') out += '/';
    if (b[0] == '/' || b[0] == '\\') b.remove_prefix(1);
    return out.append(b);
  }
  std::string out = a.empty() ? std::string("\\") : std::string(a);
  if (b.empty()) return out;
  if (out.back() != '\\') out += '\\';
  if (b[0] == '\\') b.remove_prefix(1);
  return out.append(b);
}

bool MatchWildcard(std::string_view text, std::string_view pattern) {
  if (pattern.empty()) return text.empty();
  if (text.empty()) return false;
  const size_t patternEnd = pattern.size(), textEnd = text.size();
  size_t p = 0, t = 0;
  size_t star = 0, mark = 0;
  bool haveStar = false;
  // Moves t, from where it stands, to the next byte equal to the one after
  // the star; false when the text runs out.
  auto seekStarByte = [&] {
    while (t < textEnd && text[t] != pattern[star])
      ++t;
    return t < textEnd;
  };
  for (;;) {
    char pc = pattern[p];
    bool running;
    if (pc == '*') {
      if (++p == patternEnd) return true;
      star = p;
      mark = t;
      haveStar = true;
      running = seekStarByte();
    } else if (pc == '?' || pc == text[t]) {
      if (pc == '?') haveStar = false;
      ++p;
      ++t;
      if (p == patternEnd) return t == textEnd;
      running = t < textEnd;
    } else {
      if (!haveStar) return false;
      p = star;
      t = ++mark;
      running = seekStarByte();
    }
    if (!running) break;
  }
  // The text is used up while pattern bytes remain.
  return pattern.substr(p) == "*";
}

}  // namespace slv2
