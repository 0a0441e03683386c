// Character tables for the PCRE library that describe Windows-1251, so that
// \w, [[:alpha:]], \b and case-insensitive matching ((?i)) know the Cyrillic
// letters of program text. On Windows pcre_maketables() reads them from the
// system's ANSI code page; Linux has no Windows-1251 locale, so they are
// built here from the code page's own classification (sys/Cp1251.h).
#pragma once

namespace slv2 {

// The tables in the layout pcre_maketables() returns, built once and kept for
// the life of the process (compiled patterns keep a pointer to them).
const unsigned char* Cp1251PcreTables();

}  // namespace slv2
