// The installed files of one "files" part, replaced in batches: each new
// content is complete in a new file beside its target (TSlv2NewContent); a
// flush makes the batch's contents durable together, gives each its
// target's name (one atomic step each; a read-only target is replaced by a
// writable file) and makes the names durable together. A kill at any
// moment leaves every target with its old content or its new one.
//
// A flush runs on a worker thread while the next batch is being written, so
// that waiting for the disk overlaps with extracting; flushes still happen
// one after the other, in order. The log lines of the elements wait in the
// batch too and are written by its flush, so that the log keeps the order of
// the elements: while a batch is open, its owner logs only through it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "log/LogCategory.h"
#include "sys/FileLayer.h"
#include "updater/Slv2Effects.h"
#include "updater/Slv2TempFile.h"

namespace slv2 {

class TSlv2ReplaceBatch {
 public:
  TSlv2ReplaceBatch(TLogCategory& logger, TSlv2Effects& effects)
      : FLogger(logger), FEffects(effects) {}
  // Waits for a flush in progress; entries still pending are dropped with
  // their new files (call Finish to apply them).
  ~TSlv2ReplaceBatch();
  TSlv2ReplaceBatch(const TSlv2ReplaceBatch&) = delete;
  TSlv2ReplaceBatch& operator=(const TSlv2ReplaceBatch&) = delete;

  // A new content of `size` bytes for the target, recorded as `outcome`;
  // `doneLine` is logged at DEBUG once it is in place, the failure line of
  // `operation` otherwise.
  void Add(std::unique_ptr<TSlv2NewContent> content, const std::string& target, int64_t size,
           TSlv2Outcome outcome, const char* operation, std::string doneLine);
  // A decision that changes nothing, recorded in its place.
  void AddRecord(TSlv2Outcome outcome);
  // A line logged in its place among the replacements.
  void AddLine(const TLogPriority& priority, std::string line);
  // A new file whose content was not wanted (an installed file kept by the
  // version rule), kept for the next element of its folder: creating a file
  // per kept element would cost more than writing it again. One is kept, in
  // place of the one before (elements come folder by folder, and each holds
  // a descriptor).
  void KeepSpare(std::unique_ptr<TSlv2NewContent> content);
  // The folder's spare new file, or nullptr.
  std::unique_ptr<TSlv2NewContent> TakeSpare(const std::string& folder);
  // Holds the folder whose files are being prepared open (fs::HeldFolder),
  // in place of the one held before: its files are reached from it instead
  // of from the product's root, and it stays the folder first found (no
  // link on its way) while it is held. Where folders cannot be held (on
  // Windows), none is.
  void Hold(const std::string& folder);
  bool Holds(const std::string& folder) const { return !FHeldPath.empty() && FHeldPath == folder; }
  // Starts the flush of what is pending once enough is (the flush before it
  // finished first).
  void FlushIfFull();
  // Flushes what is pending and waits until every flush is done.
  void Finish();

 private:
  struct Entry {
    std::unique_ptr<TSlv2NewContent> content;  // none for a line or a record alone
    std::string target;
    const char* operation = nullptr;
    const TLogPriority* priority;
    std::string line;
    std::optional<TSlv2Outcome> outcome;
  };

  // Applies one batch; runs on the worker.
  void Apply(std::vector<Entry>& entries);
  void StartFlush();
  void Wait();

  TLogCategory& FLogger;
  TSlv2Effects& FEffects;
  std::vector<Entry> FEntries;
  std::vector<Entry> FFlushing;  // the worker's batch
  std::thread FWorker;
  std::unique_ptr<TSlv2NewContent> FSpare;
  fs::HeldFolder FHeld;
  std::string FHeldPath;
  int FFiles = 0;
  int64_t FBytes = 0;
};

}  // namespace slv2
