// Program text is single-byte Windows-1251, as on the target systems. These
// are the only conversions, used at the boundaries: file names (UTF-8 on
// Linux), compound-file names (UTF-16), the window and the terminal.
// Characters that the code page cannot hold become '?', as the platform's
// best-fit conversion does for them.
#pragma once

#include <string>
#include <string_view>

namespace slv2 {

std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);
std::u16string AnsiToUtf16(std::string_view ansi);
std::string Utf16ToAnsi(std::u16string_view utf16);
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Case mapping of the code page: a-z and every Cyrillic letter of Windows-1251
// (including ё, ђ, ѓ, є, ѕ, і, ї, ј, љ, њ, ћ, ќ, ў, џ, ґ); other bytes map to
// themselves.
char AnsiUpperChar(char c);
char AnsiLowerChar(char c);
std::string AnsiUpperCase(std::string_view text);
std::string AnsiLowerCase(std::string_view text);
// A letter of the code page (the platform's IsCharAlphaA).
bool IsAnsiAlpha(char c);
// Case-insensitive equality under the code page's mapping.
bool AnsiSameText(std::string_view a, std::string_view b);

}  // namespace slv2
