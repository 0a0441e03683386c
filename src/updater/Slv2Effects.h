// The changes a product's run makes to the machine. Steps decide what to
// change and hand every change to their effects, which make it and then
// record its outcome (Slv2Outcome.h), a failure with its reason: the report,
// the protocol line and the exit status all come from these records.
//
// MakeExecutingEffects changes the machine. MakeRecordingEffects (--dry-run)
// changes nothing: each change is recorded as done, and an overlay shared by
// the run's updaters remembers the registry keys and values it would have
// written and the folders it would have moved, so that later steps (and the
// shell's finishing pass) see the machine as the run before them left it.
//
// A failure the step found before acting goes through Refused, which logs
// the step's own error line (executing) or says that the change would fail
// (recording). Recording is thread-safe: batched replacements record theirs
// from the batch's worker.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sys/registry/RegApi.h"
#include "updater/Slv2Outcome.h"

namespace slv2 {

class TgmStorage;
class TLogCategory;
class TSlv2Overlay;
class TSlv2NewContent;
class TSlv2TempFile;

class TSlv2Effects {
 public:
  explicit TSlv2Effects(TLogCategory& logger) : FLogger(logger) {}
  virtual ~TSlv2Effects() = default;
  TSlv2Effects(const TSlv2Effects&) = delete;
  TSlv2Effects& operator=(const TSlv2Effects&) = delete;

  // Where new content for a file of `folder` is prepared: beside its target
  // when it will replace it, else the system's temporary folder ("").
  virtual std::string WorkFolder(const std::string& folder) const = 0;
  // Makes the folder and those above it; false with LastError when it fails.
  virtual bool MakeFolder(const std::string& folder) = 0;
  // The special folder (sys/ShFolder.h), made when missing if the run makes
  // changes; empty when there is none.
  virtual std::string SpecialFolder(int csidl) = 0;

  // Each of these acts, records `outcome` (its failure set from the
  // system's error when the change failed) and tells whether it worked.
  //
  // The complete temporary file replaces the target (a read-only one too),
  // durably.
  virtual bool Replace(TSlv2TempFile& temp, const std::string& target, TSlv2Outcome outcome) = 0;
  // The complete new content takes the target's name (over a read-only
  // target too), not yet durably: its content was made durable before
  // (fs::FlushNewFiles), FlushFolders follows.
  virtual bool Place(TSlv2NewContent& content, const std::string& target, TSlv2Outcome outcome) = 0;
  // Makes the names given by Place durable;
  // false with LastError when a flush fails.
  virtual bool FlushFolders(const std::vector<std::string>& folders) = 0;
  // The file, or with `tree` the folder and all below it.
  virtual bool Delete(const std::string& path, bool tree, TSlv2Outcome outcome) = 0;
  // The file's content becomes `text`, its attributes kept.
  virtual bool WriteText(const std::string& file, const std::string& text,
                         TSlv2Outcome outcome) = 0;
  // The patch compound file merged into the installed one (raises what
  // opening either raises).
  virtual bool Merge(const std::string& patchFile, const std::string& target,
                     TSlv2Outcome outcome) = 0;
  // Extracts the streams below the destination; the number that came out.
  virtual int Unpack(TgmStorage& storage, const std::vector<std::string>& streams,
                     const std::string& destination, TSlv2Outcome outcome) = 0;
  virtual bool ImportScript(const std::string& file, TSlv2Outcome outcome) = 0;
  // The scripts imported from BeginScripts to EndScripts are one change of
  // the registry, which then waits for the disk once for them all; a kill
  // leaves none of them, and each script still stands whole or not at all.
  // When the registry does not take the change, the outcomes recorded since
  // BeginScripts become failures and EndScripts returns false. (Where the
  // registry cannot group changes, each script stands on its own.)
  virtual void BeginScripts() {}
  virtual bool EndScripts() { return true; }
  // Every file below `from` copied to `to`, then `from` removed; `links`
  // receives the links found there, which are left out.
  virtual bool MoveFolder(const std::string& from, const std::string& to,
                          std::vector<std::string>& links, TSlv2Outcome outcome) = 0;
  // A file or folder renamed.
  virtual bool Rename(const std::string& from, const std::string& to, TSlv2Outcome outcome) = 0;
  // Rights given by the product's walk `grant` (true when it worked).
  virtual bool SetRights(const std::function<bool()>& grant, TSlv2Outcome outcome) = 0;
  // A program run for its side effect (a registration); its exit code, or
  // what ExecAndWait gives when it cannot run, which is not recorded: what
  // then happened is the step's to record.
  virtual uint32_t Run(const std::string& commandLine, TSlv2Outcome outcome) = 0;
  // Registry keys copied or moved with their subkeys and values; a value
  // written (these three raise ERegistryError as RegFunctions.h does).
  virtual bool CopyKey(reg::HKey fromRoot, const std::string& from, reg::HKey toRoot,
                       const std::string& to, TSlv2Outcome outcome) = 0;
  virtual bool MoveKey(reg::HKey fromRoot, const std::string& from, reg::HKey toRoot,
                       const std::string& to, TSlv2Outcome outcome) = 0;
  virtual void WriteString(reg::HKey root, const std::string& key, const std::string& name,
                           const std::string& value) = 0;

  // Changes that are not outcomes of their own: a file or an empty folder
  // removed (false when it stays).
  virtual bool RemoveFile(const std::string& file) = 0;
  virtual bool RemoveEmptyFolder(const std::string& folder) = 0;

  // The machine as this run has left it so far.
  virtual bool KeyExists(reg::HKey root, const std::string& key) const = 0;
  // RegReadStringDef's value (empty for a missing key or value), or the one
  // this run wrote.
  virtual std::string ReadString(reg::HKey root, const std::string& key,
                                 const std::string& name) const = 0;
  // Where the content of `folder` is found now (another folder when this
  // run would have moved it there).
  virtual std::string Located(const std::string& folder) const = 0;

  // A decision that changes nothing (a file kept by the version rule).
  void Record(TSlv2Outcome outcome);
  // A change the step found impossible before acting: its failure is set;
  // `errorLine` is the step's own line for it.
  virtual void Refused(const char* operation, TSlv2Outcome outcome,
                       const std::string& errorLine) = 0;

  // Every record of this product, in the order the changes were made.
  std::vector<TSlv2Outcome> Outcomes() const;
  void Clear();

 protected:
  // Records the outcome; when the change did not work its failure is
  // `reason`, else the last system error's. Returns `worked`.
  bool Done(bool worked, TSlv2Outcome& outcome, const char* reason = nullptr);
  size_t RecordCount() const;
  // The records from `first` on that tell of a change done become failures.
  void Undone(size_t first, const std::string& reason);
  TLogCategory& Logger() const { return FLogger; }

 private:
  TLogCategory& FLogger;
  mutable std::mutex FMutex;
  std::vector<TSlv2Outcome> FOutcomes;
};

std::unique_ptr<TSlv2Effects> MakeExecutingEffects(TLogCategory& logger);
// The overlay is shared by the recording effects of one run.
std::shared_ptr<TSlv2Overlay> MakeOverlay();
std::unique_ptr<TSlv2Effects> MakeRecordingEffects(TLogCategory& logger,
                                                   std::shared_ptr<TSlv2Overlay> overlay);

}  // namespace slv2
