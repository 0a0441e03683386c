#include "sys/Cp1251.h"

#include <array>
#include <cstdint>

namespace slv2 {
namespace {

// Unicode of bytes 0x80..0xFF; 0x98 has no character and maps to U+0098 as the
// platform's conversion does.
constexpr std::array<char16_t, 128> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

struct Tables {
  std::array<uint8_t, 256> upper{};
  std::array<uint8_t, 256> lower{};
  std::array<bool, 256> alpha{};
  // Reverse map for U+0400..U+04FF and the punctuation block U+2000..U+21FF.
  std::array<uint8_t, 0x100> cyrillic{};
  std::array<uint8_t, 0x200> punctuation{};
  std::array<uint8_t, 0x100> latin1{};

  Tables() {
    for (int b = 0; b < 256; ++b)
      upper[b] = lower[b] = static_cast<uint8_t>(b);
    for (int b = 'a'; b <= 'z'; ++b) {
      upper[b] = static_cast<uint8_t>(b - 32);
      lower[b - 32] = static_cast<uint8_t>(b);
    }
    for (int b = 0xE0; b <= 0xFF; ++b) {
      upper[b] = static_cast<uint8_t>(b - 32);
      lower[b - 32] = static_cast<uint8_t>(b);
    }
    constexpr uint8_t kPairs[][2] = {{0x83, 0x81}, {0x90, 0x80}, {0x9A, 0x8A}, {0x9C, 0x8C},
                                     {0x9D, 0x8D}, {0x9E, 0x8E}, {0x9F, 0x8F}, {0xA2, 0xA1},
                                     {0xB3, 0xB2}, {0xB4, 0xA5}, {0xB8, 0xA8}, {0xBA, 0xAA},
                                     {0xBC, 0xA3}, {0xBE, 0xBD}, {0xBF, 0xAF}};
    for (auto& p : kPairs) {
      upper[p[0]] = p[1];
      lower[p[1]] = p[0];
    }
    for (int b = 0; b < 256; ++b)
      alpha[b] = upper[b] != lower[b];
    alpha[0xB5] = true;  // micro sign: a letter without a capital in the code page
    for (int i = 0; i < 128; ++i) {
      char16_t u = kHigh[i];
      uint8_t b = static_cast<uint8_t>(0x80 + i);
      if (u >= 0x400 && u < 0x500)
        cyrillic[u - 0x400] = b;
      else if (u >= 0x2000 && u < 0x2200)
        punctuation[u - 0x2000] = b;
      else if (u < 0x100)
        latin1[u] = b;
    }
  }
};

const Tables& T() {
  static const Tables tables;
  return tables;
}

char16_t ToUnicode(uint8_t b) {
  return b < 0x80 ? b : kHigh[b - 0x80];
}

char FromUnicode(char32_t u) {
  if (u < 0x80) return static_cast<char>(u);
  uint8_t b = 0;
  if (u < 0x100)
    b = T().latin1[u];
  else if (u >= 0x400 && u < 0x500)
    b = T().cyrillic[u - 0x400];
  else if (u >= 0x2000 && u < 0x2200)
    b = T().punctuation[u - 0x2000];
  return b ? static_cast<char>(b) : '?';
}

void AppendUtf8(std::string& out, char32_t u) {
  if (u < 0x80) {
    out += static_cast<char>(u);
  } else if (u < 0x800) {
    out += static_cast<char>(0xC0 | (u >> 6));
    out += static_cast<char>(0x80 | (u & 0x3F));
  } else if (u < 0x10000) {
    out += static_cast<char>(0xE0 | (u >> 12));
    out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (u & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (u >> 18));
    out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (u & 0x3F));
  }
}

// Decodes one code point; malformed input yields U+FFFD and consumes one byte.
char32_t NextUtf8(std::string_view s, size_t& i) {
  auto b0 = static_cast<uint8_t>(s[i++]);
  if (b0 < 0x80) return b0;
  int extra = b0 >= 0xF0 && b0 < 0xF5 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC2 && b0 < 0xE0 ? 1 : -1;
  if (extra < 0 || i + extra > s.size()) return 0xFFFD;
  char32_t u = b0 & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    auto b = static_cast<uint8_t>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0xFFFD;
    u = (u << 6) | (b & 0x3F);
  }
  i += extra;
  return u;
}

char32_t NextUtf16(std::u16string_view s, size_t& i) {
  char32_t u = s[i++];
  if (u >= 0xD800 && u < 0xDC00 && i < s.size() && s[i] >= 0xDC00 && s[i] < 0xE000) {
    u = 0x10000 + ((u - 0xD800) << 10) + (s[i++] - 0xDC00);
  }
  return u;
}

}  // namespace

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size() * 2);
  for (char c : ansi)
    AppendUtf8(out, ToUnicode(static_cast<uint8_t>(c)));
  return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();)
    out += FromUnicode(NextUtf8(utf8, i));
  return out;
}

std::u16string AnsiToUtf16(std::string_view ansi) {
  std::u16string out;
  out.reserve(ansi.size());
  for (char c : ansi)
    out += ToUnicode(static_cast<uint8_t>(c));
  return out;
}

std::string Utf16ToAnsi(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size();)
    out += FromUnicode(NextUtf16(utf16, i));
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  for (size_t i = 0; i < utf8.size();) {
    char32_t u = NextUtf8(utf8, i);
    if (u >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((u - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((u - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(u);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  for (size_t i = 0; i < utf16.size();)
    AppendUtf8(out, NextUtf16(utf16, i));
  return out;
}

char AnsiUpperChar(char c) {
  return static_cast<char>(T().upper[static_cast<uint8_t>(c)]);
}
char AnsiLowerChar(char c) {
  return static_cast<char>(T().lower[static_cast<uint8_t>(c)]);
}

std::string AnsiUpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = AnsiUpperChar(c);
  return out;
}

std::string AnsiLowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = AnsiLowerChar(c);
  return out;
}

bool IsAnsiAlpha(char c) {
  return T().alpha[static_cast<uint8_t>(c)];
}

bool AnsiSameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AnsiUpperChar(a[i]) != AnsiUpperChar(b[i])) return false;
  }
  return true;
}

}  // namespace slv2
