#include "CfbTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <stdexcept>

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

// Whether a program of the cross-checks is there: `probe` succeeds. They are
// Linux programs; on Windows ole32 is the foreign reader.
bool Installed([[maybe_unused]] const char* probe) {
#ifdef _WIN32
  return false;
#else
  return Run(probe).has_value();
#endif
}

std::string Quote(const std::string& text) {
  return "'" + text + "'";
}

std::vector<Element> Sorted(std::vector<Element> elements) {
  std::sort(elements.begin(), elements.end(),
            [](const Element& a, const Element& b) { return a.path < b.path; });
  return elements;
}

// Reads the rest of a stream; the error that stopped it, or S_OK.
stg::HRESULT ReadRest(stg::IStream& stream, std::string* data) {
  char buffer[65536];
  uint32_t read = 0;
  stg::HRESULT hr;
  do {
    hr = stream.Read(buffer, sizeof buffer, &read);
    data->append(buffer, read);
  } while (hr == stg::kS_OK && read == sizeof buffer);
  return hr == stg::kS_FALSE ? stg::kS_OK : hr;
}

stg::HRESULT TryRead(stg::IStorage& storage, std::u16string_view name, std::string* data) {
  std::unique_ptr<stg::IStream> stream;
  stg::HRESULT hr = storage.OpenStream(name, kNestedRead, &stream);
  return hr == stg::kS_OK ? ReadRest(*stream, data) : hr;
}

void WalkInto(stg::IStorage& storage, const std::string& prefix, std::vector<Element>& out) {
  std::unique_ptr<stg::IEnumStatStg> enumerator;
  ASSERT_EQ(storage.EnumElements(&enumerator), stg::kS_OK);
  stg::StatStg record;
  while (enumerator->Next(1, &record, nullptr) == stg::kS_OK) {
    Element e;
    e.path = prefix + Utf16ToUtf8(record.name);
    e.storage = record.type == stg::kStgTyStorage;
    if (e.storage) {
      std::unique_ptr<stg::IStorage> sub;
      e.error = storage.OpenStorage(record.name, kNestedRead, &sub);
      if (sub && prefix.size() < 2000) WalkInto(*sub, e.path + "/", out);
    } else {
      std::string data;
      e.error = TryRead(storage, record.name, &data);
      e.size = data.size();
      e.crc = CalcCRC32(data.data(), data.size());
      EXPECT_TRUE(e.error || e.size == record.size) << e.path;
    }
    out.push_back(e);
  }
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
  return Sorted(elements);
}

std::vector<Element> AsGsfLists(std::vector<Element> elements) {
  for (Element& e : elements) {
    bool empty = std::none_of(elements.begin(), elements.end(), [&](const Element& other) {
      return other.path.rfind(e.path + "/", 0) == 0;
    });
    if (e.storage && empty) e.storage = false;
  }
  return elements;
}

constexpr const char kGsf[] = "LC_ALL=C.UTF-8 gsf";

std::optional<std::vector<Element>> ReadWithGsf(const std::string& path) {
  if (!HaveGsf()) return std::nullopt;
  std::string file = Quote(AnsiToUtf8(path));
  // gsf prints names in the locale's encoding, "?" for what it cannot hold:
  // UTF-8 whatever locale the tests run in (C.UTF-8 comes with libc).
  std::optional<std::string> out = Run(kGsf + std::string(" list ") + file);
  if (!out) return std::vector<Element>{{"<gsf list failed>"}};
  std::vector<Element> elements;
  std::vector<size_t> streams;
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
    Element e{words.back(), words[0] == "d"};
    if (!e.storage) {
      e.size = std::stoull(words[words.size() - 2]);
      streams.push_back(elements.size());
    }
    elements.push_back(e);
  }
  // One "gsf cat" gives every stream, one after another (the tests' files
  // hold few enough for one command line).
  std::string command = kGsf + std::string(" cat ") + file;
  for (size_t i : streams)
    command += " " + Quote(elements[i].path);
  std::string data = streams.empty() ? "" : Run(command).value_or("<gsf cat failed>");
  size_t at = 0;
  for (size_t i : streams) {
    Element& e = elements[i];
    std::string part = data.substr(std::min(at, data.size()), e.size);
    e.size = part.size();
    e.crc = CalcCRC32(part.data(), part.size());
    at += part.size();
  }
  if (at != data.size()) elements.push_back({"<gsf cat gave more bytes>"});
  return Sorted(elements);
}

}  // namespace

std::vector<uint32_t> ReadFat(const std::function<uint32_t(uint64_t)>& at) {
  uint64_t ss = uint64_t{1} << (at(28) >> 16);
  uint32_t per = static_cast<uint32_t>(ss / 4), count = at(44);
  std::vector<uint32_t> sectors;
  for (uint32_t i = 0; i < count && i < 109; ++i)
    sectors.push_back(at(76 + 4 * i));
  for (uint32_t d = at(68); sectors.size() < count; d = at((d + 1) * ss + ss - 4)) {
    for (uint32_t i = 0; i + 1 < per && sectors.size() < count; ++i)
      sectors.push_back(at((d + 1) * ss + 4 * i));
  }
  std::vector<uint32_t> fat;
  for (uint32_t sector : sectors) {
    for (uint32_t i = 0; i < per; ++i)
      fat.push_back(at((sector + 1) * ss + 4 * i));
  }
  return fat;
}

std::ostream& operator<<(std::ostream& out, const Element& e) {
  return out << (e.storage ? "storage " : "stream ") << e.path << " " << e.size << " " << e.crc
             << (e.error ? " error" : "");
}

std::vector<Element> Walk(stg::IStorage& storage) {
  std::vector<Element> out;
  WalkInto(storage, "", out);
  return Sorted(out);
}

bool HaveOlefile() {
  // Debian's python3-olefile lives with the system interpreter.
  static const bool present = Installed("/usr/bin/python3 -c 'import olefile' 2>/dev/null");
  return present;
}

bool HaveGsf() {
  static const bool present = Installed("command -v gsf >/dev/null");
  return present;
}

void ExpectForeignReadersAgree(const std::string& path) {
  std::unique_ptr<stg::IStorage> root;
  EXPECT_EQ(OpenDocfile(path, kReadMode, &root), stg::kS_OK) << path;
  std::vector<Element> ours = root ? Walk(*root) : std::vector<Element>();
  EXPECT_EQ(ReadWithOlefile(path).value_or(ours), ours) << "olefile reads " << path;
  EXPECT_EQ(ReadWithGsf(path).value_or(AsGsfLists(ours)), AsGsfLists(ours)) << "gsf reads " << path;
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
  EXPECT_EQ(ReadRest(stream, &data), stg::kS_OK);
  return data;
}

std::string GetStream(stg::IStorage& storage, std::u16string_view name) {
  std::string data;
  EXPECT_EQ(TryRead(storage, name, &data), stg::kS_OK) << Utf16ToUtf8(name);
  return data;
}

std::unique_ptr<IStorage> Sub(IStorage& parent, std::u16string_view name, uint32_t mode) {
  std::unique_ptr<IStorage> sub;
  stg::HRESULT hr = mode & stg::kStgmCreate ? parent.CreateStorage(name, mode, &sub)
                                            : parent.OpenStorage(name, mode, &sub);
  if (hr != stg::kS_OK) throw std::runtime_error("no storage " + Utf16ToUtf8(name));
  return sub;
}

std::vector<std::u16string> Names(stg::IStorage& storage) {
  std::vector<std::u16string> names;
  std::unique_ptr<stg::IEnumStatStg> e;
  EXPECT_EQ(storage.EnumElements(&e), stg::kS_OK);
  stg::StatStg records[16];
  uint32_t fetched = 0;
  stg::HRESULT hr;
  do {  // a short batch ends the listing
    hr = e->Next(16, records, &fetched);
    EXPECT_EQ(hr, fetched == 16 ? stg::kS_OK : stg::kS_FALSE);
    for (uint32_t i = 0; i < fetched; ++i)
      names.push_back(records[i].name);
  } while (hr == stg::kS_OK);
  return names;
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
