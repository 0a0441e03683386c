// Fixtures of the updater and product tests: the family installed in a real
// (temporary) registry, real product folders, update storages written with
// the project's own compound-file engine, and the lines an updater's log
// category receives.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "TestSupport.h"
#include "storage/gmStorage.h"

namespace slv2 {
class TLogAppender;
class TLogCategory;
}  // namespace slv2

namespace slv2::test {

// Every line the category receives while the object lives, as
// "<PRIORITY> <message>"; the category logs at DEBUG meanwhile and is given
// back its unconfigured state afterwards.
class LogCapture {
 public:
  explicit LogCapture(const std::string& category);
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  const std::vector<std::string>& Lines() const { return *lines_; }
  bool Has(std::string_view line) const;
  // Lines holding the text anywhere.
  int Count(std::string_view text) const;
  // All lines, one per line, for failure messages.
  std::string Text() const;
  void Clear() { lines_->clear(); }

 private:
  TLogCategory& category_;
  std::shared_ptr<std::vector<std::string>> lines_;
  std::shared_ptr<TLogAppender> appender_;
};

// Points the system temporary folder ($TMPDIR) at a folder of the test's for
// the object's life, so that tests can see every temporary file left behind.
class ScopedTempFolder {
 public:
  explicit ScopedTempFolder(const std::string& folder);
  ~ScopedTempFolder();
  ScopedTempFolder(const ScopedTempFolder&) = delete;
  ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;

 private:
  std::string previous_;
  bool hadPrevious_ = false;
};

// The names of a folder's entries, sorted; empty for a missing folder.
std::vector<std::string> Entries(const std::string& folder);

// Where the family's keys are: the machine-wide 2.1 key, the per-user 2.0
// key, or the 2.1 key for the shell with the products only per user.
enum class FamilyLayout { Machine21, User20, Mixed };

// Writes the shell's key with its "root" value (an empty value counts as
// missing).
void InstallShell(FamilyLayout layout, const std::string& shellRoot);
// Writes a product's key with its "root" value, relative to the shell folder.
void InstallProduct(FamilyLayout layout, const std::string& productId, const std::string& root);

// Writes an update storage with the engine: streams at "/"-separated paths,
// storages made on the way (and the file's folder). The file is complete when the object goes or
// Close() is called.
class StorageWriter {
 public:
  explicit StorageWriter(const std::string& fileName);
  ~StorageWriter() { Close(); }
  StorageWriter(const StorageWriter&) = delete;
  StorageWriter& operator=(const StorageWriter&) = delete;

  StorageWriter& Add(const std::string& path, std::string_view content);
  // The content behind the compressed-stream header.
  StorageWriter& AddCompressed(const std::string& path, std::string_view content);
  // An empty storage.
  StorageWriter& AddStorage(const std::string& path);
  // The content of a file on disk.
  StorageWriter& AddFile(const std::string& path, const std::string& fileName);
  void Close();

 private:
  TgmStorageRef storage_;
};

// The compressed form of the content: header and zlib data.
std::string CompressedElement(std::string_view content);
// A compound file holding the given streams, as bytes.
std::string CompoundFileBytes(const TempDir& scratch,
                              const std::vector<std::pair<std::string, std::string>>& streams);
// The streams of a compound file with their content ("/"-separated paths).
std::vector<std::pair<std::string, std::string>> ReadStreams(const std::string& fileName);

// A file's content, or "<missing>".
std::string Content(const std::string& fileName);
// The content of a PE test file of tests/data/pe.
std::string PeFile(std::string_view name);

}  // namespace slv2::test
