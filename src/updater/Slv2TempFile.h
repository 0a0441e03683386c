// Temporary files of the update steps and the one way an installed file is
// replaced: new content is written completely to a temporary file in the
// target's own folder and then renamed over the target, so that a target is
// never seen half-written, whatever happens to the process.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sys/FileLayer.h"

namespace slv2 {

class TgmStorage;
class TLogCategory;
struct FileVersion;

// Owns a temporary file: deletes it (read-only or not) when it goes, unless
// it was renamed away or given up with Forget(). Its name is the program's
// own (sys/TempNames.h), so that one a killed run left can be told apart.
class TSlv2TempFile {
 public:
  // A new empty file "~sv<hex>.TMP" in the folder (the system temporary
  // folder when empty); raises ESlvUpdater when none can be created.
  explicit TSlv2TempFile(std::string_view folder = {});
  ~TSlv2TempFile();
  TSlv2TempFile(const TSlv2TempFile&) = delete;
  TSlv2TempFile& operator=(const TSlv2TempFile&) = delete;

  const std::string& Name() const { return FName; }
  // The file is no longer this object's to delete.
  void Forget() { FName.clear(); }

 private:
  std::string FName;
};

// Removes the temporary files a killed run left anywhere below the folder, or
// without `deep` in the folder itself (names of IsProgramTempName, owned by the
// running user and written before `runStart`: Slv2TempOwner.h), each logged
// at DEBUG, one that stays at WARN;
// a run holds the machine's run lock, so none of them is in use. A folder in
// `swept`, or inside one, is not walked again; the folder is added to it.
void RemoveLeftoverTempFiles(const std::string& folder, std::vector<std::string>& swept,
                             TLogCategory& log, std::chrono::system_clock::time_point runStart,
                             bool deep = true);

// Writes a stream element (inflated when it carries the compressed-stream
// header) into the temporary file, over what it held, and cuts the file to
// what was written. False when the compressed data is damaged (LastError 0)
// or the file cannot be written (LastError says why); a missing element
// raises. `size` (optional) receives the bytes written. The file is
// never emptied first: on ext4 a file truncated to nothing is forced onto
// the disk when it is closed, which makes deleting or reusing it costly.
bool ExtractInto(TgmStorage& storage, const std::string& element, const TSlv2TempFile& temp,
                 int64_t* size = nullptr);

// New content for files of one folder, written into a new file that takes
// its target's name only once complete (fs::NewFile: on Linux a file
// without a name, which a killed run leaves nowhere). The file may be
// written again for the next target when a content is not wanted.
class TSlv2NewContent {
 public:
  // A new empty file in the folder (the system temporary folder when
  // empty); raises ESlvUpdater when none can be created.
  explicit TSlv2NewContent(const std::string& folder);

  const std::string& Folder() const { return FFolder; }
  fs::NewFile& File() { return FFile; }
  // Writes the stream element as ExtractInto does, from the file's start;
  // `size` receives the bytes written.
  bool Extract(TgmStorage& storage, const std::string& element, int64_t* size);
  // Its version block, read from the open file (VerInfo.h).
  bool ReadVersion(FileVersion& version);

 private:
  std::string FFolder;
  fs::NewFile FFile;
  int64_t FLength = 0;  // the file's length, which a shorter content cuts
};

// Renames the complete temporary file over the target (sys/FileReplace.h:
// atomic, durable, rights kept, a read-only target replaced by a writable
// file). False on failure, with the platform's error code in fs::LastError().
bool ReplaceInstalledFile(TSlv2TempFile& temp, const std::string& target);

}  // namespace slv2
