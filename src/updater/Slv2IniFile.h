// The in-memory ini reader of the update storages' ini files. The text is
// read as lines (CR, LF or CR LF end one; a zero byte ends the text), each
// trimmed; empty lines, ";" comments and lines before the first section are
// ignored; "[name]" starts a section; "key = value" is kept as "key=value"
// with both sides trimmed, any other line as it is. Section and key names
// compare ignoring case. Loading is linear in the text, whatever the number
// of sections. A text that begins with the UTF-8 byte-order mark (as many
// editors write it) is UTF-8: the mark is skipped and the text converted to
// program text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace slv2 {

class TSlv2IniFile {
 public:
  struct Section {
    std::string Name;
    std::vector<std::string> Lines;  // "key=value", or a line without "="

    // The value of the first line whose key is `key`; `def` without one.
    std::string ReadString(std::string_view key, std::string_view def = {}) const;
    // The text after the first "=" of each line, or the whole line.
    std::vector<std::string> Values() const;
  };

  // Replaces the content by the text's; true when the text holds at least
  // one line (an empty text, or one starting with a zero byte, holds none).
  bool SetText(std::string_view text);
  void Clear() { FSections.clear(); }

  const std::vector<Section>& Sections() const { return FSections; }
  // The first section of that name, or nullptr.
  const Section* FindSection(std::string_view name) const;

 private:
  std::vector<Section> FSections;
};

// The text split into lines as the ini reader and the registry-script pass
// read it: CR, LF or CR LF end a line, a zero byte ends the text.
std::vector<std::string> SplitTextLines(std::string_view text);

// The UTF-8 byte-order mark.
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

}  // namespace slv2
