#include "sys/PcreTables.h"

#include <array>
#include <cstring>

#include "sys/Cp1251.h"

namespace slv2 {
namespace {

// The layout of PCRE 8's tables (pcre_internal.h, pcre_maketables.c): a
// lower-case map, a case-flip map, ten 256-bit class maps and a map of
// character type bits.
constexpr size_t kLowerOffset = 0;
constexpr size_t kFlipOffset = 256;
constexpr size_t kClassOffset = 512;
constexpr size_t kTypeOffset = 832;
constexpr size_t kTablesLength = 1088;

enum ClassMap : size_t {
  kSpace = 0,
  kXDigit = 32,
  kDigit = 64,
  kUpper = 96,
  kLower = 128,
  kWord = 160,
  kGraph = 192,
  kPrint = 224,
  kPunct = 256,
  kCntrl = 288,
};

enum TypeBit : unsigned char {
  kTypeSpace = 0x01,
  kTypeLetter = 0x02,
  kTypeDigit = 0x04,
  kTypeXDigit = 0x08,
  kTypeWord = 0x10,
  kTypeMeta = 0x80,  // ends a run of literal pattern bytes
};

// The classes of one byte. ASCII keeps the C locale's classes; above it, the
// code page's letters are letters, and every other assigned character is
// punctuation (the no-break space counts as printable only, and 0x98 is not
// assigned).
struct ByteClass {
  bool alpha, upper, lower, digit, xdigit, space, punct, cntrl, print;
};

ByteClass Classify(int i) {
  char c = static_cast<char>(i);
  ByteClass k{};
  k.alpha = IsAnsiAlpha(c);
  k.upper = k.alpha && AnsiLowerChar(c) != c;
  k.lower = k.alpha && AnsiUpperChar(c) != c;
  k.digit = i >= '0' && i <= '9';
  k.xdigit = k.digit || (i >= 'A' && i <= 'F') || (i >= 'a' && i <= 'f');
  k.space = i == ' ' || (i >= '\t' && i <= '\r');
  k.cntrl = i < 0x20 || i == 0x7F;
  if (i < 0x80) {
    k.punct = i > 0x20 && i < 0x7F && !k.alpha && !k.digit;
  } else {
    k.punct = !k.alpha && i != 0x98 && i != 0xA0;
  }
  k.print = k.alpha || k.digit || k.punct || i == ' ' || i == 0xA0;
  return k;
}

std::array<unsigned char, kTablesLength> Build() {
  std::array<unsigned char, kTablesLength> t{};
  for (int i = 0; i < 256; ++i) {
    char c = static_cast<char>(i);
    ByteClass k = Classify(i);
    t[kLowerOffset + i] = static_cast<unsigned char>(AnsiLowerChar(c));
    t[kFlipOffset + i] = static_cast<unsigned char>(k.lower ? AnsiUpperChar(c) : AnsiLowerChar(c));

    auto set = [&](size_t map, bool on) {
      if (on) t[kClassOffset + map + i / 8] |= static_cast<unsigned char>(1 << (i & 7));
    };
    bool word = k.alpha || k.digit || i == '_';
    set(kDigit, k.digit);
    set(kUpper, k.upper);
    set(kLower, k.lower);
    set(kWord, word);
    set(kSpace, k.space);
    set(kXDigit, k.xdigit);
    set(kGraph, k.print && i != ' ' && i != 0xA0);
    set(kPrint, k.print);
    set(kPunct, k.punct);
    set(kCntrl, k.cntrl);

    unsigned char type = 0;
    if (k.space) type |= kTypeSpace;
    if (k.alpha) type |= kTypeLetter;
    if (k.digit) type |= kTypeDigit;
    if (k.xdigit) type |= kTypeXDigit;
    if (word) type |= kTypeWord;
    if (i == 0 || std::strchr("\\*+?{^.$|()[", i) != nullptr) type |= kTypeMeta;
    t[kTypeOffset + i] = type;
  }
  return t;
}

}  // namespace

const unsigned char* Cp1251PcreTables() {
  static const std::array<unsigned char, kTablesLength> tables = Build();
  return tables.data();
}

}  // namespace slv2
