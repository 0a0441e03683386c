#include "UpdaterTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/log/LogAppender.h"
#include "app/log/LogCategory.h"
#include "app/log/LogHierarchy.h"
#include "storage/Stream.h"
#include "storage/gmStrmUtil.h"
#include "storage/gmZLibUtil.h"
#include "sys/Cp1251.h"
#include "sys/registry/RegFunctions.h"

namespace slv2::test {

namespace {

class LineLayout : public TLogLayout {
 public:
  std::string Format(const TLogEvent& event) const override {
    return std::string(event.priority->Name()) + " " + event.message;
  }
};

class LineAppender : public TLogAppender {
 public:
  explicit LineAppender(std::shared_ptr<std::vector<std::string>> lines)
      : TLogAppender(std::make_unique<LineLayout>()), lines_(std::move(lines)) {}

 protected:
  void Write(const std::string& text) override { lines_->push_back(text); }

 private:
  std::shared_ptr<std::vector<std::string>> lines_;
};

constexpr uint32_t kCreate = stg::kStgmCreate | stg::kStgmReadWrite | stg::kStgmShareExclusive;

const char* kKey21 = "\\Software\\Zarvik\\Solvane 2.1";
const char* kKey20 = "\\Software\\Zarvik\\Solvane";

void WriteKey(reg::HKey root, const std::string& key, const std::string& value) {
  RegWriteString(root, key, "root", value);
}

}  // namespace

LogCapture::LogCapture(const std::string& category)
    : category_(TLogHierarchy::Default().GetCategory(category)),
      lines_(std::make_shared<std::vector<std::string>>()),
      appender_(std::make_shared<LineAppender>(lines_)) {
  category_.AddAppender(appender_);
  category_.SetPriority(&TLogPriority::Debug());
}

LogCapture::~LogCapture() {
  category_.RemoveAppender(appender_);
  category_.SetPriority(nullptr);
}

bool LogCapture::Has(std::string_view line) const {
  for (const std::string& l : *lines_)
    if (l == line) return true;
  return false;
}

int LogCapture::Count(std::string_view text) const {
  int n = 0;
  for (const std::string& l : *lines_)
    if (l.find(text) != std::string::npos) ++n;
  return n;
}

std::string LogCapture::Text() const {
  std::string text;
  for (const std::string& l : *lines_)
    text += l + "\n";
  return text;
}

ScopedTempFolder::ScopedTempFolder(const std::string& folder) {
  if (const char* previous = std::getenv("TMPDIR")) {
    hadPrevious_ = true;
    previous_ = previous;
  }
  WriteFile(folder + "/.keep", "");
  std::remove((folder + "/.keep").c_str());
  ::setenv("TMPDIR", AnsiToUtf8(folder).c_str(), 1);
}

ScopedTempFolder::~ScopedTempFolder() {
  if (hadPrevious_) {
    ::setenv("TMPDIR", previous_.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(AnsiToUtf8(folder), ec))
    names.push_back(Utf8ToAnsi(entry.path().filename().string()));
  std::sort(names.begin(), names.end());
  return names;
}

void InstallShell(FamilyLayout layout, const std::string& shellRoot) {
  bool machine = layout != FamilyLayout::User20;
  WriteKey(machine ? reg::kHkeyLocalMachine : reg::kHkeyCurrentUser,
           std::string(machine ? kKey21 : kKey20) + "\\main", shellRoot);
}

void InstallProduct(FamilyLayout layout, const std::string& productId, const std::string& root) {
  bool machine = layout == FamilyLayout::Machine21;
  WriteKey(machine ? reg::kHkeyLocalMachine : reg::kHkeyCurrentUser,
           std::string(machine ? kKey21 : kKey20) + "\\" + productId, root);
}

StorageWriter::StorageWriter(const std::string& fileName) {
  std::filesystem::create_directories(std::filesystem::path(AnsiToUtf8(fileName)).parent_path());
  storage_ = TgmStorage::Create(fileName, kCreate);
}

StorageWriter& StorageWriter::Add(const std::string& path, std::string_view content) {
  std::unique_ptr<TgmStgStream> stream = storage_->CreateStream(path, kCreate);
  EXPECT_TRUE(StringToStream(std::string(content), *stream)) << path;
  return *this;
}

StorageWriter& StorageWriter::AddCompressed(const std::string& path, std::string_view content) {
  return Add(path, CompressedElement(content));
}

StorageWriter& StorageWriter::AddStorage(const std::string& path) {
  TgmStorageRef storage;
  storage_->CreateStorage(path, kCreate, &storage);
  return *this;
}

StorageWriter& StorageWriter::AddFile(const std::string& path, const std::string& fileName) {
  return Add(path, ReadFile(fileName));
}

void StorageWriter::Close() {
  storage_.reset();
}

std::string CompressedElement(std::string_view content) {
  TMemoryStream source, out;
  EXPECT_TRUE(StringToStream(std::string(content), source));
  Compress(source, out, 6);
  return out.ToString();
}

std::string CompoundFileBytes(const TempDir& scratch,
                              const std::vector<std::pair<std::string, std::string>>& streams) {
  std::string file = scratch / "compound.tmp";
  {
    StorageWriter writer(file);
    for (const auto& [path, content] : streams)
      writer.Add(path, content);
  }
  std::string bytes = ReadFile(file);
  std::remove(file.c_str());
  return bytes;
}

std::vector<std::pair<std::string, std::string>> ReadStreams(const std::string& fileName) {
  TgmStorageRef storage = TgmStorage::Create(fileName, stg::kStgmRead | stg::kStgmShareDenyWrite);
  std::vector<std::string> paths;
  storage->ListStreams(paths);
  std::vector<std::pair<std::string, std::string>> streams;
  for (const std::string& path : paths) {
    std::string content;
    StreamToString(*storage->CreateStream(path, stg::kStgmRead), content);
    streams.emplace_back(path, content);
  }
  return streams;
}

std::string Content(const std::string& fileName) {
  return PathExists(fileName) ? ReadFile(fileName) : "<missing>";
}

std::string PeFile(std::string_view name) {
  return ReadFile(TestDataPath("pe/" + std::string(name)));
}

}  // namespace slv2::test
