#include "publish/DeleteList.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <set>

#include "sys/Cp1251.h"

namespace slv2::publish {
namespace {

std::string Backslashed(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// Lines without their ends; the ini reader takes CR, LF and CR LF alike.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

std::string Trimmed(const std::string& line) {
  size_t first = line.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}

bool IsSection(const std::string& trimmed) {
  return trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']';
}

}  // namespace

std::vector<std::string> DeletionEntries(const std::vector<TFilePlan>& plan,
                                         const TFileTree& newProduct) {
  std::vector<std::string> entries;
  std::string covered;  // key prefix of the last folder entry
  for (const TFilePlan& file : plan) {
    if (file.change != TFileChange::kRemoved) continue;
    const std::string& path = file.oldFile->path;
    std::string key = FileKey(path);
    if (!covered.empty() && key.starts_with(covered)) continue;
    std::string entry = path;
    for (size_t slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      std::string folder = key.substr(0, slash + 1);
      auto next = newProduct.lower_bound(folder);
      if (next == newProduct.end() || !next->first.starts_with(folder)) {
        entry = path.substr(0, slash);
        covered = folder;
        break;
      }
    }
    entries.push_back(Backslashed(entry));
  }
  return entries;
}

std::string MergeDeletionEntries(const std::string& iniText,
                                 const std::vector<std::string>& entries) {
  std::vector<std::string> lines = Lines(iniText);
  // The section's last line, its highest number and what it lists.
  size_t end = lines.size();
  bool inFiles = false, found = false;
  int highest = 0;
  std::set<std::string> listed;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string line = Trimmed(lines[i]);
    if (IsSection(line)) {
      if (inFiles) end = i;
      inFiles = AnsiSameText(line, "[Files]") && !found;
      found = found || inFiles;
      continue;
    }
    if (!inFiles || line.empty() || line[0] == ';') continue;
    size_t equals = line.find('=');
    std::string value = equals == std::string::npos ? line : Trimmed(line.substr(equals + 1));
    listed.insert(AnsiUpperCase(Backslashed(value)));
    int number = 0;
    std::string key = equals == std::string::npos ? "" : Trimmed(line.substr(0, equals));
    auto [rest, error] = std::from_chars(key.data(), key.data() + key.size(), number);
    if (error == std::errc() && rest == key.data() + key.size())
      highest = std::max(highest, number);
  }
  // Blank lines at the section's end stay after the added entries.
  while (found && end > 0 && Trimmed(lines[end - 1]).empty())
    --end;
  std::vector<std::string> added;
  if (!found) {
    if (!lines.empty() && !Trimmed(lines.back()).empty()) added.push_back("");
    added.push_back("[Files]");
  }
  for (const std::string& entry : entries) {
    if (listed.insert(AnsiUpperCase(entry)).second) {
      added.push_back(std::to_string(++highest) + "=" + entry);
    }
  }
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(found ? end : lines.size()),
               added.begin(), added.end());
  std::string text;
  for (const std::string& line : lines)
    text += line + "\r\n";
  return text;
}

}  // namespace slv2::publish
