#include "UpdaterTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "log/LogHierarchy.h"
#include "patch/DiffMaker.h"
#include "storage/gmStrmUtil.h"
#include "storage/gmZLibUtil.h"
#include "sys/Cp1251.h"
#include "sys/registry/RegFunctions.h"

namespace slv2::test {

namespace {

namespace stdfs = std::filesystem;

struct LineLayout : TLogLayout {
  std::string Format(const TLogEvent& event) const override {
    return std::string(event.priority->Name()) + " " + event.message;
  }
};

struct LineAppender : TLogAppender {
  explicit LineAppender(std::shared_ptr<std::vector<std::string>> into)
      : TLogAppender(std::make_unique<LineLayout>()), lines(std::move(into)) {}
  void Write(const std::string& text) override { lines->push_back(text); }
  std::shared_ptr<std::vector<std::string>> lines;
};

// The "root" value of the product's key, in the 2.1 key or the per-user 2.0 one.
void WriteRoot(bool machine21, const std::string& productId, const std::string& root) {
  RegWriteString(
      machine21 ? reg::kHkeyLocalMachine : reg::kHkeyCurrentUser,
      (machine21 ? "\\Software\\Zarvik\\Solvane 2.1\\" : "\\Software\\Zarvik\\Solvane\\") +
          productId,
      "root", root);
}

constexpr uint32_t kCreate = stg::kStgmCreate | stg::kStgmReadWrite | stg::kStgmShareExclusive;

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

int LogCapture::Count(std::string_view text) const {
  return static_cast<int>(std::count_if(lines_->begin(), lines_->end(), [&](const std::string& l) {
    return l.find(text) != std::string::npos;
  }));
}

std::string LogCapture::Text() const {
  std::string text;
  for (const std::string& line : *lines_)
    text += line + "\n";
  return text;
}

ScopedTempFolder::ScopedTempFolder(const std::string& folder)
    : ScopedEnv(TempFolderVariable(), folder) {
  stdfs::create_directories(FsPath(folder));
}

void InstallShell(FamilyLayout layout, const std::string& shellRoot) {
  WriteRoot(layout != FamilyLayout::User20, "main", shellRoot);
}

void InstallProduct(FamilyLayout layout, const std::string& productId, const std::string& root) {
  WriteRoot(layout == FamilyLayout::Machine21, productId, root);
}

StorageWriter::StorageWriter(const std::string& fileName, const Streams& streams) {
  stdfs::create_directories(stdfs::path(AnsiToUtf8(fileName)).parent_path());
  storage_ = TgmStorage::Create(fileName, kCreate);
  for (const auto& [path, content] : streams)
    Add(path, content);
}

StorageWriter& StorageWriter::Add(const std::string& path, std::string_view content) {
  EXPECT_TRUE(StringToStream(std::string(content), *storage_->CreateStream(path, kCreate)));
  return *this;
}

std::string CompressedElement(std::string_view content) {
  TMemoryStream source, out;
  StringToStream(std::string(content), source);
  Compress(source, out, 6);
  return out.ToString();
}

std::string CompoundFileBytes(const TempDir& scratch, const Streams& streams) {
  std::string file = scratch / "compound.tmp";
  StorageWriter{file, streams};
  std::string bytes = ReadFile(file);
  stdfs::remove(AnsiToUtf8(file));
  return bytes;
}

std::string DifferenceBytes(const TempDir& scratch, std::string_view before,
                            std::string_view after) {
  WriteFile(scratch / "old", before);
  WriteFile(scratch / "new", after);
  CreateDiffFile(scratch / "old", scratch / "new", scratch / "diff");
  return ReadFile(scratch / "diff");
}

std::string PeFile(std::string_view name) {
  return ReadFile(TestDataPath("pe/" + std::string(name)));
}

}  // namespace slv2::test
