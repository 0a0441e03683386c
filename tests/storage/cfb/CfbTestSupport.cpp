#include "CfbTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <sstream>

#include "storage/cfb/CfbStorage.h"
#include "sys/Cp1251.h"
#include "sys/Crc32.h"

namespace slv2::cfb::test {

namespace {

// Runs a shell command; its standard output, or nothing when it failed.
std::optional<std::string> Run(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string out;
  char buffer[65536];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    out.append(buffer, n);
  if (::pclose(pipe) != 0) return std::nullopt;
  return out;
}

std::string Quote(const std::string& text) {
  return "'" + text + "'";
}

void Sort(std::vector<Element>& elements) {
  std::sort(elements.begin(), elements.end(),
            [](const Element& a, const Element& b) { return a.path < b.path; });
}

void WalkInto(stg::IStorage& storage, const std::string& prefix, std::vector<Element>& out) {
  std::unique_ptr<stg::IEnumStatStg> enumerator;
  ASSERT_EQ(storage.EnumElements(&enumerator), stg::kS_OK);
  stg::StatStg record;
  uint32_t fetched = 0;
  while (enumerator->Next(1, &record, &fetched) == stg::kS_OK) {
    Element e;
    e.path = prefix + Utf16ToUtf8(record.name);
    e.storage = record.type == stg::kStgTyStorage;
    if (e.storage) {
      std::unique_ptr<stg::IStorage> sub;
      ASSERT_EQ(storage.OpenStorage(record.name, kNestedRead, &sub), stg::kS_OK) << e.path;
      WalkInto(*sub, e.path + "/", out);
    } else {
      std::string data = GetStream(storage, record.name);
      e.size = data.size();
      e.crc = CalcCRC32(data.data(), data.size());
      EXPECT_EQ(e.size, record.size) << e.path;
    }
    out.push_back(e);
  }
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const Element& e) {
  return out << (e.storage ? "storage " : "stream ") << e.path << " " << e.size << " " << e.crc;
}

std::vector<Element> Walk(stg::IStorage& storage) {
  std::vector<Element> out;
  WalkInto(storage, "", out);
  Sort(out);
  return out;
}

std::vector<Element> WalkFile(const std::string& path) {
  std::unique_ptr<stg::IStorage> root;
  EXPECT_EQ(OpenDocfile(path, kReadMode, &root), stg::kS_OK) << path;
  return root ? Walk(*root) : std::vector<Element>();
}

bool HaveOlefile() {
  // Debian's python3-olefile lives with the system interpreter.
  static const bool present = Run("/usr/bin/python3 -c 'import olefile' 2>/dev/null").has_value();
  return present;
}

bool HaveGsf() {
  static const bool present = Run("command -v gsf >/dev/null").has_value();
  return present;
}

std::optional<std::vector<Element>> ReadWithOlefile(const std::string& path) {
  if (!HaveOlefile()) return std::nullopt;
  static const char script[] =
      "import sys, zlib, olefile\n"
      "sys.stdout.reconfigure(encoding=\"utf-8\")\n"
      "ole = olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_INCORRECT)\n"
      "for entry in ole.listdir(streams=True, storages=True):\n"
      "    path = \"/\".join(entry)\n"
      "    if ole.get_type(entry) == olefile.STGTY_STREAM:\n"
      "        data = ole.openstream(entry).read()\n"
      "        print(\"F\", len(data), zlib.crc32(data), path)\n"
      "    else:\n"
      "        print(\"D\", 0, 0, path)\n";
  std::optional<std::string> out =
      Run("/usr/bin/python3 -c " + Quote(script) + " " + Quote(AnsiToUtf8(path)));
  if (!out) return std::vector<Element>{{"<olefile failed>"}};
  std::vector<Element> elements;
  std::istringstream lines(*out);
  for (std::string type; lines >> type;) {
    Element e;
    lines >> e.size >> e.crc;
    lines.get();
    std::getline(lines, e.path);
    e.storage = type == "D";
    elements.push_back(e);
  }
  Sort(elements);
  return elements;
}

std::optional<std::vector<Element>> ReadWithGsf(const std::string& path) {
  if (!HaveGsf()) return std::nullopt;
  std::string file = Quote(AnsiToUtf8(path));
  std::optional<std::string> out = Run("gsf list " + file);
  if (!out) return std::vector<Element>{{"<gsf list failed>"}};
  std::vector<Element> elements;
  std::istringstream lines(*out);
  for (std::string line; std::getline(lines, line);) {
    // "f  <date> <time>  <size> <path>" or "d  <size> <path>"; the header
    // line ends with ':' and the root is "*root*".
    std::istringstream fields(line);
    std::vector<std::string> words;
    for (std::string w; fields >> w;)
      words.push_back(w);
    if (words.size() < 3 || (words[0] != "f" && words[0] != "d") || words.back() == "*root*")
      continue;
    Element e;
    e.path = words.back();
    e.storage = words[0] == "d";
    if (!e.storage) {
      std::optional<std::string> data = Run("gsf cat " + file + " " + Quote(e.path));
      if (!data) data = "<gsf cat failed>";
      e.size = data->size();
      e.crc = CalcCRC32(data->data(), data->size());
    }
    elements.push_back(e);
  }
  Sort(elements);
  return elements;
}

void PutStream(stg::IStorage& storage, std::u16string_view name, std::string_view data) {
  std::unique_ptr<stg::IStream> stream;
  ASSERT_EQ(storage.CreateStream(name, kCreateMode, &stream), stg::kS_OK);
  uint32_t written = 0;
  ASSERT_EQ(stream->Write(data.data(), static_cast<uint32_t>(data.size()), &written), stg::kS_OK);
  ASSERT_EQ(written, data.size());
}

std::string ReadAll(stg::IStream& stream) {
  std::string data;
  char buffer[65536];
  uint32_t read = 0;
  do {
    EXPECT_GE(stream.Read(buffer, sizeof buffer, &read), 0);
    data.append(buffer, read);
  } while (read == sizeof buffer);
  return data;
}

std::string GetStream(stg::IStorage& storage, std::u16string_view name) {
  std::unique_ptr<stg::IStream> stream;
  EXPECT_EQ(storage.OpenStream(name, kNestedRead, &stream), stg::kS_OK);
  return stream ? ReadAll(*stream) : std::string();
}

std::string Pattern(size_t size, uint32_t seed) {
  std::string data(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (char& c : data) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return data;
}

}  // namespace slv2::cfb::test
