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

// The lines of a script whose decoded text comes in pieces, each ending at a
// line's end or at the script's end. A line stays valid until the next one is
// taken.
class Lines {
 public:
  explicit Lines(const ScriptText& more) : more_(more) {}

  bool Next(std::u16string_view* line) {
    while (pos_ >= text_.size()) {
      if (!more_(text_)) return false;
      pos_ = 0;
    }
    size_t end = text_.find(u'\n', pos_);
    if (end == std::u16string::npos) end = text_.size();
    *line = std::u16string_view(text_).substr(pos_, end - pos_);
    if (!line->empty() && line->back() == u'\r') line->remove_suffix(1);
    pos_ = end + 1;
    ++number_;
    return true;
  }
  size_t Number() const { return number_; }

 private:
  const ScriptText& more_;
  std::u16string text_;
  size_t pos_ = 0;
  size_t number_ = 0;
};

class Parser {
 public:
  Parser(Lines& lines, bool ansiData, const ScriptActions& actions,
         std::vector<ScriptWarning>& warnings)
      : lines_(lines), ansiData_(ansiData), actions_(actions), warnings_(warnings) {}

  // The lines after the header.
  void Run() {
    std::u16string_view line;
    while (lines_.Next(&line)) {
      size_t number = lines_.Number();
      line = TrimLeft(line);
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
  void Warn(size_t line, const char* message) { warnings_.push_back({line, message}); }

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
    actions_(action);
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
    actions_(action);
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
      if (!continued || !lines_.Next(&text)) break;
    }
    if (!valid) return Invalid(number);
    // The 8-bit format writes text kinds in the code page's bytes.
    action.data = ansiData_ && IsStringKind(action.type) ? StringDataFromAnsi(bytes) : bytes;
    return true;
  }

  Lines& lines_;
  bool ansiData_;
  const ScriptActions& actions_;
  std::vector<ScriptWarning>& warnings_;
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

ScriptEncoding DetectScriptEncoding(std::string_view firstBytes, size_t* markSize) {
  if (firstBytes.substr(0, 2) == "\xFF\xFE") {
    *markSize = 2;
    return ScriptEncoding::kUtf16;
  }
  if (firstBytes.substr(0, 3) == "\xEF\xBB\xBF") {
    *markSize = 3;
    return ScriptEncoding::kUtf8;
  }
  *markSize = 0;
  return ScriptEncoding::kAnsi;
}

std::u16string DecodeScriptText(std::string_view bytes, ScriptEncoding encoding) {
  switch (encoding) {
    case ScriptEncoding::kUtf16:
      return StringDataToUtf16(bytes.substr(0, bytes.size() & ~size_t{1}));
    case ScriptEncoding::kUtf8:
      return Utf8ToUtf16(bytes);
    case ScriptEncoding::kAnsi:
      break;
  }
  return AnsiToUtf16(bytes);
}

bool ParseRegScriptText(const ScriptText& text, const ScriptActions& actions,
                        std::vector<ScriptWarning>* warnings) {
  Lines lines(text);
  std::u16string_view header;
  if (!lines.Next(&header)) return false;
  header = TrimRight(header);
  if (header != kHeader4 && header != kHeader5) return false;
  Parser(lines, header == kHeader4, actions, *warnings).Run();
  return true;
}

RegScript ParseRegScript(std::string_view fileBytes) {
  RegScript script;
  size_t mark = 0;
  ScriptEncoding encoding = DetectScriptEncoding(fileBytes, &mark);
  bool given = false;
  script.hasHeader = ParseRegScriptText(
      [&](std::u16string& text) {
        if (given) return false;
        text = DecodeScriptText(fileBytes.substr(mark), encoding);
        return given = true;
      },
      [&](const ScriptAction& action) { script.actions.push_back(action); }, &script.warnings);
  return script;
}

void ScriptApplier::Apply(const ScriptAction& action) {
  auto refused = [&](const char* what, uint32_t rc) {
    warnings_.push_back({action.line, std::string(what) + ": " + SysErrorMessage(rc)});
  };
  switch (action.kind) {
    case ScriptAction::kOpenKey:
      if (uint32_t rc = CreateKey(action.root, action.path, kKeyAllAccess, current_.Out())) {
        refused("key not created, skipped with its values", rc);
      }
      break;
    case ScriptAction::kDeleteKey:
      if (uint32_t rc = DeleteTree(action.root, action.path); rc && rc != kErrorFileNotFound) {
        refused("key not deleted", rc);
      }
      break;
    case ScriptAction::kSetValue:
      if (!current_.Get()) break;
      if (uint32_t rc = SetValue(current_.Get(), action.name, action.type, action.data)) {
        refused("value not set", rc);
      }
      break;
    case ScriptAction::kDeleteValue:
      if (!current_.Get()) break;
      if (uint32_t rc = DeleteValue(current_.Get(), action.name); rc && rc != kErrorFileNotFound) {
        refused("value not deleted", rc);
      }
      break;
  }
}

uint32_t ApplyRegScript(const RegScript& script, std::vector<ScriptWarning>* warnings) {
  Transaction transaction;
  if (uint32_t rc = transaction.Begin()) return rc;
  ScriptApplier applier(*warnings);
  for (const ScriptAction& action : script.actions)
    applier.Apply(action);
  return transaction.Commit();
}

}  // namespace slv2::reg
