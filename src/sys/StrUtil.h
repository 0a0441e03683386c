// String primitives of the in-house text unit: literal replace-all with the
// code page's case folding, path joining and the byte-exact wildcard test.
// Strings are Windows-1251 bytes; nothing here converts encodings or line ends.
#pragma once

#include <string>
#include <string_view>

namespace slv2 {

// Every occurrence of `search` replaced by `replacement`, scanning from the
// left without overlaps; replaced text is never scanned again. With
// ignoreCase both sides compare in Windows-1251 upper-case form; the
// replacement is inserted as given. An empty search leaves the source as is.
// `count` (optional) receives the number of occurrences replaced.
std::string ReplaceAll(std::string_view source, std::string_view search,
                       std::string_view replacement, bool ignoreCase, int* count = nullptr);

// True for a path in POSIX form: a single leading "/" (not "//server").
// Such paths keep "/" as their delimiter wherever paths are built.
bool IsPosixFormPath(std::string_view path);

// True for a path that names the same place whatever the current folder and
// drive: POSIX form ("/opt/x"), a drive with its root ("C:\x", "C:/x") or a
// network path ("\\server\share"). "C:x", "\x" and "x\y" are relative.
bool IsAbsolutePath(std::string_view path);

// Joins two path parts with exactly one delimiter between them: a leading
// delimiter of `b` is absorbed, an empty `a` gives "\" + b, an empty `b`
// leaves `a` unchanged. The delimiter is "\", or "/" when `a` is in POSIX
// form.
std::string JoinPath(std::string_view a, std::string_view b);

// The wildcard test of file masks: "*" stands for a run of bytes, "?" for one
// byte, everything else compares exactly. After a "*" the match commits to
// the first later occurrence of the next pattern byte and backs off only on a
// mismatch, never because the pattern ended before the text; a "?" ends the
// reach of an earlier "*". So a.txt.txt does not match "*.txt", and abc
// matches "abc*" but not "abc**".
bool MatchWildcard(std::string_view text, std::string_view pattern);

}  // namespace slv2
