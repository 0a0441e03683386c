// Fixtures of the updater and product tests: the family installed in a real
// (temporary) registry, update storages written with the project's own
// compound-file engine, and the lines an updater's log category receives.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "log/LogCategory.h"
#include "storage/gmStorage.h"
#include "updater/Slv2Updater.h"

namespace slv2::test {

// Every line the category receives while the object lives, as
// "<PRIORITY> <message>"; the category logs at DEBUG meanwhile and is left
// unconfigured again afterwards.
class LogCapture {
 public:
  explicit LogCapture(const std::string& category);
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  TLogCategory& Category() const { return category_; }
  const std::vector<std::string>& Lines() const { return *lines_; }
  int Count(std::string_view text) const;  // lines holding the text
  std::string Text() const;                // for failure messages
  void Clear() { lines_->clear(); }

 private:
  TLogCategory& category_;
  std::shared_ptr<std::vector<std::string>> lines_;
  std::shared_ptr<TLogAppender> appender_;
};

// Points the temporary folder ($TMPDIR, %TMP%) at a folder, made for it, for
// the object's life, so that tests see every temporary file left behind.
struct ScopedTempFolder : ScopedEnv {
  explicit ScopedTempFolder(const std::string& folder);
};

// Where the family's keys are: the machine-wide 2.1 key, the per-user 2.0
// key, or the 2.1 key for the shell with the products only per user.
enum class FamilyLayout { Machine21, User20, Mixed };
// The shell's and a product's key with its "root" value (an empty value
// counts as missing).
void InstallShell(FamilyLayout layout, const std::string& shellRoot);
void InstallProduct(FamilyLayout layout, const std::string& productId, const std::string& root);

using Streams = std::vector<std::pair<std::string, std::string>>;

// Writes a compound file with the engine: streams at "/"-separated paths,
// storages and the file's folder made on the way; complete when it goes.
class StorageWriter {
 public:
  explicit StorageWriter(const std::string& fileName, const Streams& streams = {});
  StorageWriter& Add(const std::string& path, std::string_view content);

 private:
  TgmStorageRef storage_;
};

std::string CompressedElement(std::string_view content);
// A compound file holding the streams, as bytes.
std::string CompoundFileBytes(const TempDir& scratch, const Streams& streams);
// The difference from one content to the other, as bytes.
std::string DifferenceBytes(const TempDir& scratch, std::string_view before,
                            std::string_view after);

// The updater's changes from now on are recorded (as by --dry-run), none made.
inline void RecordOnly(TSlv2Updater& updater) {
  updater.UseEffects(MakeRecordingEffects(updater.Logger(), MakeOverlay()));
}

// A PE test file of tests/data/pe.
std::string PeFile(std::string_view name);

}  // namespace slv2::test
