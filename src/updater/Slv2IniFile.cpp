#include "updater/Slv2IniFile.h"

#include "sys/Cp1251.h"

namespace slv2 {

namespace {

// The runtime's Trim: every character up to the blank goes at both ends.
std::string_view Trim(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ')
    ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ')
    --end;
  return text.substr(begin, end - begin);
}

}  // namespace

std::vector<std::string> SplitTextLines(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

std::string TSlv2IniFile::Section::ReadString(std::string_view key, std::string_view def) const {
  for (const std::string& line : Lines) {
    size_t equals = line.find('=');
    if (equals != std::string::npos &&
        AnsiSameText(std::string_view(line).substr(0, equals), key)) {
      return line.substr(equals + 1);
    }
  }
  return std::string(def);
}

std::vector<std::string> TSlv2IniFile::Section::Values() const {
  std::vector<std::string> values;
  values.reserve(Lines.size());
  for (const std::string& line : Lines) {
    size_t equals = line.find('=');
    values.push_back(equals == std::string::npos ? line : line.substr(equals + 1));
  }
  return values;
}

bool TSlv2IniFile::SetText(std::string_view text) {
  FSections.clear();
  std::vector<std::string> lines = text.starts_with(kUtf8Bom)
                                       ? SplitTextLines(Utf8ToAnsi(text.substr(kUtf8Bom.size())))
                                       : SplitTextLines(text);
  Section* current = nullptr;
  for (const std::string& raw : lines) {
    std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      FSections.push_back(Section{std::string(Trim(line.substr(1, line.size() - 2))), {}});
      current = &FSections.back();
    } else if (current) {
      size_t equals = line.find('=');
      if (equals == std::string_view::npos) {
        current->Lines.emplace_back(line);
      } else {
        current->Lines.push_back(std::string(Trim(line.substr(0, equals))) + "=" +
                                 std::string(Trim(line.substr(equals + 1))));
      }
    }
  }
  return !lines.empty();
}

const TSlv2IniFile::Section* TSlv2IniFile::FindSection(std::string_view name) const {
  for (const Section& section : FSections) {
    if (AnsiSameText(section.Name, name)) return &section;
  }
  return nullptr;
}

}  // namespace slv2
