#include "sys/registry/RegScript.h"

#include <optional>

#include "sys/Cp1251.h"
#include "sys/WinError.h"
#include "sys/registry/RegAnsi.h"

namespace slv2::reg {
namespace {

constexpr std::u16string_view kHeader4 = u"REGEDIT4";
constexpr std::u16string_view kHeader5 = u"Windows Registry Editor Version 5.00";

struct RootNames {
  std::u16string_view name;
  std::u16string_view shortName;
  std::u16string_view otherShortName;
  HKey root;
};

constexpr RootNames kRoots[] = {
    {u"HKEY_CLASSES_ROOT", u"HKCR", u"", kHkeyClassesRoot},
    {u"HKEY_CURRENT_USER", u"HKCU", u"", kHkeyCurrentUser},
    {u"HKEY_LOCAL_MACHINE", u"HKLM", u"", kHkeyLocalMachine},
    {u"HKEY_USERS", u"HKU", u"HKUS", kHkeyUsers},
    {u"HKEY_PERFORMANCE_DATA", u"HKPD", u"", kHkeyPerformanceData},
    {u"HKEY_CURRENT_CONFIG", u"HKCC", u"", kHkeyCurrentConfig},
    {u"HKEY_DYN_DATA", u"HKDD", u"", kHkeyDynData},
};

char16_t Upper(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

bool SameAscii(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

bool StartsWithAscii(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && SameAscii(text.substr(0, prefix.size()), prefix);
}

bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\t';
}

std::u16string_view TrimLeft(std::u16string_view s) {
  while (!s.empty() && IsSpace(s.front()))
    s.remove_prefix(1);
  return s;
}

std::u16string_view TrimRight(std::u16string_view s) {
  while (!s.empty() && IsSpace(s.back()))
    s.remove_suffix(1);
  return s;
}

// Nothing but blanks and perhaps a comment.
bool IsLineEnd(std::u16string_view rest) {
  rest = TrimLeft(rest);
  return rest.empty() || rest.front() == u';';
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// 1 to `maxDigits` hex digits making up all of `text`.
std::optional<uint32_t> ParseHex(std::u16string_view text, size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits) return std::nullopt;
  uint32_t value = 0;
  for (char16_t c : text) {
    int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  return value;
}

// The script as UTF-16 text: with a UTF-16LE byte-order mark, or a UTF-8 one,
// as such; otherwise Windows-1251.
std::u16string Decode(std::string_view bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    bytes.remove_prefix(2);
    return StringDataToUtf16(bytes.substr(0, bytes.size() & ~size_t{1}));
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return Utf8ToUtf16(bytes.substr(3));
  return AnsiToUtf16(bytes);
}

std::vector<std::u16string_view> SplitLines(std::u16string_view text) {
  std::vector<std::u16string_view> lines;
  while (!text.empty()) {
    size_t end = text.find(u'\n');
    std::u16string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::u16string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

class Parser {
 public:
  Parser(std::vector<std::u16string_view> lines, bool ansiData, RegScript& script)
      : lines_(std::move(lines)), ansiData_(ansiData), script_(script) {}

  void Run() {
    // Line 1 is the header.
    for (next_ = 1; next_ < lines_.size();) {
      size_t number = next_ + 1;
      std::u16string_view line = TrimLeft(lines_[next_++]);
      if (line.empty() || line.front() == u';') continue;
      if (line.front() == u'[') {
        KeyLine(TrimRight(line), number);
      } else if (line.front() == u'"' || line.front() == u'@') {
        ValueLine(line, number);
      } else {
        Warn(number, "not a key or value line, skipped");
      }
    }
  }

 private:
  void Warn(size_t line, const char* message) { script_.warnings.push_back({line, message}); }

  void KeyLine(std::u16string_view line, size_t number) {
    inKey_ = false;
    if (line.size() < 2 || line.back() != u']') {
      return Warn(number, "key line without its closing ']', skipped with its values");
    }
    std::u16string_view key = line.substr(1, line.size() - 2);
    bool remove = !key.empty() && key.front() == u'-';
    if (remove) key.remove_prefix(1);
    size_t slash = key.find(u'\\');
    HKey root;
    if (!ParseRootName(key.substr(0, slash), &root)) {
      return Warn(number, "key outside the registry's roots, skipped with its values");
    }
    std::u16string_view path = slash == std::u16string_view::npos ? u"" : key.substr(slash + 1);
    if (remove && path.empty()) return Warn(number, "a root cannot be deleted, line skipped");
    ScriptAction action;
    action.kind = remove ? ScriptAction::kDeleteKey : ScriptAction::kOpenKey;
    action.line = number;
    action.root = root;
    action.path = path;
    script_.actions.push_back(std::move(action));
    inKey_ = !remove;
  }

  // A quoted text with \\ and \" escapes, from the opening quote on; the rest
  // after the closing quote is left in `line`.
  static std::optional<std::u16string> Quoted(std::u16string_view& line) {
    std::u16string text;
    for (size_t i = 1; i < line.size(); ++i) {
      char16_t c = line[i];
      if (c == u'"') {
        line.remove_prefix(i + 1);
        return text;
      }
      if (c == u'\\' && i + 1 < line.size() && (line[i + 1] == u'\\' || line[i + 1] == u'"')) {
        c = line[++i];
      }
      text += c;
    }
    return std::nullopt;
  }

  void ValueLine(std::u16string_view line, size_t number) {
    ScriptAction action;
    action.kind = ScriptAction::kSetValue;
    action.line = number;
    if (line.front() == u'@') {
      line.remove_prefix(1);
    } else {
      auto name = Quoted(line);
      if (!name) return Warn(number, "value name without its closing quote, line skipped");
      action.name = std::move(*name);
    }
    line = TrimLeft(line);
    if (line.empty() || line.front() != u'=') return Warn(number, "value without '=', skipped");
    line = TrimLeft(line.substr(1));
    if (!ValueData(line, number, action)) return;
    if (!inKey_) return Warn(number, "value outside a key, skipped");
    script_.actions.push_back(std::move(action));
  }

  bool ValueData(std::u16string_view line, size_t number, ScriptAction& action) {
    if (!line.empty() && line.front() == u'-') {
      if (!IsLineEnd(line.substr(1))) return Invalid(number);
      action.kind = ScriptAction::kDeleteValue;
      return true;
    }
    if (!line.empty() && line.front() == u'"') {
      auto text = Quoted(line);
      if (!text || !IsLineEnd(line)) return Invalid(number);
      action.type = kRegSz;
      action.data = StringDataFromUtf16(*text + u'\0');
      return true;
    }
    if (StartsWithAscii(line, u"dword:")) {
      std::u16string_view digits = line.substr(6);
      size_t end = 0;
      while (end < digits.size() && HexDigit(digits[end]) >= 0)
        ++end;
      auto value = ParseHex(digits.substr(0, end), 8);
      if (!value || !IsLineEnd(digits.substr(end))) return Invalid(number);
      action.type = kRegDword;
      for (int i = 0; i < 4; ++i)
        action.data += static_cast<char>(*value >> 8 * i);
      return true;
    }
    if (StartsWithAscii(line, u"hex:")) {
      action.type = kRegBinary;
      return HexList(line.substr(4), number, action);
    }
    if (StartsWithAscii(line, u"hex(")) {
      size_t close = line.find(u"):");
      auto type = close == std::u16string_view::npos ? std::nullopt
                                                     : ParseHex(line.substr(4, close - 4), 8);
      if (!type) return Invalid(number);
      action.type = *type;
      return HexList(line.substr(close + 2), number, action);
    }
    return Invalid(number);
  }

  bool Invalid(size_t number) {
    Warn(number, "value data not valid, line skipped");
    return false;
  }

  // Comma-separated bytes, continued on the next line after a "\". The
  // continuation lines are consumed even when the list turns out invalid.
  bool HexList(std::u16string_view text, size_t number, ScriptAction& action) {
    std::string bytes;
    bool valid = true;
    while (true) {
      text = TrimRight(text);
      if (size_t comment = text.find(u';'); comment != std::u16string_view::npos) {
        text = TrimRight(text.substr(0, comment));
      }
      bool continued = !text.empty() && text.back() == u'\\';
      if (continued) text.remove_suffix(1);
      while (valid && !(text = TrimLeft(text)).empty()) {
        size_t comma = text.find(u',');
        auto byte = ParseHex(TrimRight(text.substr(0, comma)), 2);
        if (!byte)
          valid = false;
        else
          bytes += static_cast<char>(*byte);
        text = comma == std::u16string_view::npos ? std::u16string_view() : text.substr(comma + 1);
      }
      if (!continued || next_ >= lines_.size()) break;
      text = lines_[next_++];
    }
    if (!valid) return Invalid(number);
    // The 8-bit format writes text kinds in the code page's bytes.
    action.data = ansiData_ && IsStringKind(action.type) ? StringDataFromAnsi(bytes) : bytes;
    return true;
  }

  std::vector<std::u16string_view> lines_;
  bool ansiData_;
  RegScript& script_;
  size_t next_ = 0;
  bool inKey_ = false;
};

}  // namespace

bool ParseRootName(std::u16string_view name, HKey* root) {
  for (const RootNames& r : kRoots) {
    if (SameAscii(name, r.name) || SameAscii(name, r.shortName) ||
        (!r.otherShortName.empty() && SameAscii(name, r.otherShortName))) {
      *root = r.root;
      return true;
    }
  }
  return false;
}

std::u16string RootName(HKey root) {
  for (const RootNames& r : kRoots) {
    if (r.root == root) return std::u16string(r.name);
  }
  return std::u16string();
}

RegScript ParseRegScript(std::string_view fileBytes) {
  RegScript script;
  std::u16string text = Decode(fileBytes);
  std::vector<std::u16string_view> lines = SplitLines(text);
  if (lines.empty()) return script;
  std::u16string_view header = TrimRight(lines[0]);
  if (header != kHeader4 && header != kHeader5) return script;
  script.hasHeader = true;
  Parser(std::move(lines), header == kHeader4, script).Run();
  return script;
}

uint32_t ApplyRegScript(const RegScript& script, std::vector<ScriptWarning>* warnings) {
  Transaction transaction;
  if (uint32_t rc = transaction.Begin()) return rc;
  auto refused = [&](size_t line, const char* what, uint32_t rc) {
    warnings->push_back({line, std::string(what) + ": " + SysErrorMessage(rc)});
  };
  ScopedKey current;
  for (const ScriptAction& action : script.actions) {
    switch (action.kind) {
      case ScriptAction::kOpenKey:
        if (uint32_t rc = CreateKey(action.root, action.path, kKeyAllAccess, current.Out())) {
          refused(action.line, "key not created, skipped with its values", rc);
        }
        break;
      case ScriptAction::kDeleteKey:
        if (uint32_t rc = DeleteTree(action.root, action.path); rc && rc != kErrorFileNotFound) {
          refused(action.line, "key not deleted", rc);
        }
        break;
      case ScriptAction::kSetValue:
        if (!current.Get()) break;
        if (uint32_t rc = SetValue(current.Get(), action.name, action.type, action.data)) {
          refused(action.line, "value not set", rc);
        }
        break;
      case ScriptAction::kDeleteValue:
        if (!current.Get()) break;
        if (uint32_t rc = DeleteValue(current.Get(), action.name); rc && rc != kErrorFileNotFound) {
          refused(action.line, "value not deleted", rc);
        }
        break;
    }
  }
  return transaction.Commit();
}

}  // namespace slv2::reg
