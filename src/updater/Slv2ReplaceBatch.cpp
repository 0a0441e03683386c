#include "updater/Slv2ReplaceBatch.h"

#include <algorithm>
#include <set>

#include "storage/FileUtil.h"
#include "sys/Exception.h"
#include "sys/FileLayer.h"
#include "sys/Format.h"
#include "sys/WinError.h"

namespace slv2 {

namespace {

// A batch is flushed after this many files or bytes: few enough flushes to
// make thousands of small files cheap, and never more than this much new
// content waiting beside the old one on disk.
constexpr int kBatchFiles = 512;
constexpr int64_t kBatchBytes = 64 << 20;

std::string FailedLine(const char* operation, const std::string& message) {
  return Format("%s() failed: %s (%s)", operation, "ESlvUpdater", message.c_str());
}

// The entry's outcome, which is recorded once.
TSlv2Outcome Take(std::optional<TSlv2Outcome>& outcome) {
  TSlv2Outcome taken = std::move(*outcome);
  outcome.reset();
  return taken;
}

}  // namespace

void TSlv2ReplaceBatch::Add(std::unique_ptr<TSlv2NewContent> content, const std::string& target,
                            int64_t size, TSlv2Outcome outcome, const char* operation,
                            std::string doneLine) {
  FEntries.push_back(Entry{std::move(content), target, operation, &TLogPriority::Debug(),
                           std::move(doneLine), std::move(outcome)});
  ++FFiles;
  FBytes += size;
}

void TSlv2ReplaceBatch::AddLine(const TLogPriority& priority, std::string line) {
  FEntries.push_back(Entry{nullptr, std::string(), nullptr, &priority, std::move(line), {}});
}

void TSlv2ReplaceBatch::AddRecord(TSlv2Outcome outcome) {
  FEntries.push_back(
      Entry{nullptr, std::string(), nullptr, &TLogPriority::Debug(), {}, std::move(outcome)});
}

TSlv2ReplaceBatch::~TSlv2ReplaceBatch() {
  Wait();
}

void TSlv2ReplaceBatch::KeepSpare(std::unique_ptr<TSlv2NewContent> content) {
  FSpare = std::move(content);
}

std::unique_ptr<TSlv2NewContent> TSlv2ReplaceBatch::TakeSpare(const std::string& folder) {
  if (!FSpare || FSpare->Folder() != folder) return nullptr;
  return std::move(FSpare);
}

void TSlv2ReplaceBatch::Hold(const std::string& folder) {
  FHeld = fs::HeldFolder(folder);
  FHeldPath = FHeld.Valid() ? folder : std::string();
}

void TSlv2ReplaceBatch::FlushIfFull() {
  // Each new file stays open until it is placed, two batches at a time.
  size_t files = std::min<size_t>(kBatchFiles, fs::NewFilesAtOnce() / 2);
  if (static_cast<size_t>(FFiles) >= files || FBytes >= kBatchBytes) StartFlush();
}

void TSlv2ReplaceBatch::Finish() {
  StartFlush();
  Wait();
}

void TSlv2ReplaceBatch::Wait() {
  if (FWorker.joinable()) FWorker.join();
  FFlushing.clear();
}

void TSlv2ReplaceBatch::StartFlush() {
  Wait();
  if (FEntries.empty()) return;
  FFlushing = std::move(FEntries);
  FEntries.clear();
  FFiles = 0;
  FBytes = 0;
  FWorker = std::thread([this] { Apply(FFlushing); });
}

void TSlv2ReplaceBatch::Apply(std::vector<Entry>& entries) {
  TLogCategory& logger = FLogger;
  try {
    std::vector<fs::NewFile*> files;
    for (const Entry& entry : entries)
      if (entry.content) files.push_back(&entry.content->File());
    bool durable = files.empty() || fs::FlushNewFiles(files);
    std::string flushError = durable ? std::string() : SysErrorMessage(fs::LastError());
    std::set<std::string> folders;
    for (Entry& entry : entries) {
      if (!entry.content) {
        if (entry.outcome) FEffects.Record(Take(entry.outcome));
        if (!entry.line.empty()) logger.Log(*entry.priority, entry.line);
      } else if (!durable) {
        // Content that may not be on disk is never renamed into place.
        TSlv2Outcome outcome = Take(entry.outcome);
        outcome.failure = flushError;
        FEffects.Refused(
            entry.operation, std::move(outcome),
            FailedLine(entry.operation, Format("Error writing \"%s\": %s", entry.target.c_str(),
                                               flushError.c_str())));
      } else if (FEffects.Place(*entry.content, entry.target, Take(entry.outcome))) {
        folders.insert(TgmFileUtil::ExtractFilePath(entry.target));
        logger.Debug(entry.line);
      } else {
        logger.Error(
            FailedLine(entry.operation, Format("Error replacing \"%s\": %s", entry.target.c_str(),
                                               SysErrorMessage(fs::LastError()).c_str())));
      }
    }
    if (!folders.empty() &&
        !FEffects.FlushFolders(std::vector<std::string>(folders.begin(), folders.end()))) {
      logger.Error(FailedLine("ProcessFiles", Format("Error flushing folders: %s",
                                                     SysErrorMessage(fs::LastError()).c_str())));
    }
  } catch (const std::exception& e) {
    // Nothing may leave the worker; what was not renamed stays as it was.
    logger.Error(Format("%s() failed: %s (%s)", "ProcessFiles", ExceptionClassName(e),
                        ExceptionMessage(e).c_str()));
  }
  // What the failure above kept from being done is recorded as not done.
  for (Entry& entry : entries) {
    if (!entry.outcome) continue;
    TSlv2Outcome outcome = Take(entry.outcome);
    if (entry.content) outcome.failure = "not replaced";
    FEffects.Record(std::move(outcome));
  }
  entries.clear();  // the new files left go here
}

}  // namespace slv2
