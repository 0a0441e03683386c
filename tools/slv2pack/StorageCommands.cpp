// slv2pack build, list, extract, cat and merge: making update storages from
// folder trees and looking into them.
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Command.h"
#include "StdOut.h"
#include "StorageSize.h"
#include "storage/FileUtil.h"
#include "storage/gmStorage.h"
#include "storage/gmZLibUtil.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/FileReplace.h"
#include "sys/Format.h"
#include "sys/WinError.h"

namespace slv2::pack {
namespace {

constexpr uint32_t kReadMode = stg::kStgmRead | stg::kStgmShareDenyWrite;
constexpr uint32_t kWriteMode = stg::kStgmReadWrite | stg::kStgmShareExclusive;
constexpr uint32_t kCreateMode = kWriteMode | stg::kStgmCreate;
constexpr size_t kMaxElementName = 31;
// STGC_DANGEROUSLYCOMMITMERELYTODISKCACHE: written, not yet made durable.
constexpr uint32_t kCommitToDiskCache = 4;

[[noreturn]] void Fail(const std::string& message) {
  throw Exception(message);
}

[[noreturn]] void FailWithSystemError(const char* what, const std::string& path) {
  Fail(Format("%s %s: %s", what, path.c_str(), SysErrorMessage(fs::LastError()).c_str()));
}

// --- Arguments --------------------------------------------------------------

// One "--name" option of a command: a switch, or one taking the next argument
// as its value.
struct Option {
  const char* name;
  bool takesValue;
  std::function<void(const std::string& value)> apply;
};

// Splits the arguments into the options of the table and the positional
// ones; false for an unknown option, a missing value or a wrong number of
// positional arguments.
bool ParseArguments(const std::vector<std::string>& args, const std::vector<Option>& options,
                    size_t positionalCount, std::vector<std::string>* positional) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i].rfind("--", 0) != 0) {
      positional->push_back(args[i]);
      continue;
    }
    const Option* found = nullptr;
    for (const Option& option : options) {
      if (args[i] == option.name) found = &option;
    }
    if (!found || (found->takesValue && i + 1 >= args.size())) return false;
    found->apply(found->takesValue ? args[++i] : std::string());
  }
  return positional->size() == positionalCount;
}

// --- Output files -----------------------------------------------------------

// A temporary file beside the target that takes the target's place only when
// Commit() is reached; otherwise it is deleted, so a failed run leaves the
// target as it was.
class PendingFile {
 public:
  explicit PendingFile(const std::string& target) : FTarget(target) {
    FTemp = TgmFileUtil::GetTempFileName(TgmFileUtil::ExtractFilePath(target), "tmp");
    if (FTemp.empty()) FailWithSystemError("Cannot create a temporary file for", target);
  }
  ~PendingFile() {
    if (!FTemp.empty()) fs::DeleteFile(FTemp);
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  const std::string& Path() const { return FTemp; }
  void Commit() {
    if (!fs::ReplaceFileContent(FTemp, FTarget)) FailWithSystemError("Cannot replace", FTarget);
    FTemp.clear();
  }

 private:
  std::string FTarget;
  std::string FTemp;
};

// --- build ------------------------------------------------------------------

struct BuildOptions {
  std::string sourceDir;
  std::string output;
  bool compress = false;
  bool version4 = false;
};

// One file or folder of the source tree, in the order the tree is walked
// (each folder before what it holds); depth 1 is the source folder's own.
struct SourceItem {
  std::string path;
  std::string name;
  size_t depth;
  bool folder;
  uint64_t size;
};

// Lists the source tree without recursion and checks all of it before a
// byte is written: names the storage cannot hold, names that differ only in
// case, links to folders and files too large for any stream fail here.
std::vector<SourceItem> PlanBuild(const std::string& sourceDir) {
  struct Level {
    std::vector<SourceItem> items;
    size_t next;
  };
  auto list = [](const std::string& folder, size_t depth) {
    std::vector<SourceItem> items;
    fs::DirListing listing(folder + "/*");
    std::set<std::string> names;  // upper-cased: the format ignores case
    fs::FindData entry;
    while (listing.Next(&entry)) {
      if (entry.name == "." || entry.name == "..") continue;
      std::string path = folder + "/" + entry.name;
      // Names reach the storage as they are: a longer one would be cut, and
      // a "?" marks a character the code page cannot hold.
      if (entry.name.size() > kMaxElementName) Fail("Name longer than 31 characters: " + path);
      if (entry.name.find('?') != std::string::npos) {
        Fail("Name not representable in Windows-1251: " + path);
      }
      if (!names.insert(AnsiUpperCase(entry.name)).second) {
        Fail("Names differ only in case: " + path);
      }
      bool isFolder = (entry.attributes & fs::kAttrDirectory) != 0;
      if (isFolder && (entry.attributes & fs::kAttrReparsePoint)) Fail("Link to a folder: " + path);
      if (!isFolder && entry.size > StorageSize::kMaxStream) {
        Fail("File of 4 GiB or more, larger than any stream: " + path);
      }
      items.push_back({path, entry.name, depth, isFolder, entry.size});
    }
    if (listing.Error() != kErrorNoMoreFiles && listing.Error() != kErrorFileNotFound) {
      FailWithSystemError("Cannot list", folder);
    }
    return items;
  };
  std::vector<SourceItem> plan;
  std::vector<Level> levels;
  levels.push_back({list(sourceDir, 1), 0});
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.items.size()) {
      levels.pop_back();
      continue;
    }
    plan.push_back(level.items[level.next++]);
    if (plan.back().folder) levels.push_back({list(plan.back().path, levels.size() + 1), 0});
  }
  return plan;
}

// Writes the planned tree into a storage: folders become storages, files
// streams of the same name.
class Builder {
 public:
  explicit Builder(const BuildOptions& options) : FOptions(options) {}

  void Add(TgmStorage& root, const std::vector<SourceItem>& plan) {
    // The storages of the folders on the way to the one being filled.
    std::vector<TgmStorageRef> open;
    for (const SourceItem& item : plan) {
      open.resize(item.depth - 1);
      TgmStorage& parent = open.empty() ? root : *open.back();
      if (item.folder) {
        TgmStorageRef child;
        parent.CreateStorage(item.name, kCreateMode, &child);
        open.push_back(std::move(child));
      } else {
        AddFile(parent, item.name, item.path);
      }
    }
  }

 private:
  void AddFile(TgmStorage& storage, const std::string& name, const std::string& path) {
    TWinFileStream file(path, fs::kGenericRead, fs::kShareRead, fs::kOpenExisting);
    std::unique_ptr<TgmStgStream> stream = storage.CreateStream(name, kCreateMode);
    // Plain data that happens to start like a compressed element would be
    // inflated by every reader: such a file is always stored compressed.
    TgmZHeader header;
    bool looksCompressed = ReadHeader(file, &header);
    int64_t size = file.Size();
    if (FOptions.compress || looksCompressed) {
      int64_t packed = Compress(file, *stream, Z_BEST_COMPRESSION);
      if (looksCompressed || packed < size) return;
      stream->SetSize(0);
      stream->SetPosition(0);
    }
    Copy(file, *stream, size);
  }

  // In blocks of up to 1 MiB, each one write into the storage.
  void Copy(TStream& from, TStream& to, int64_t size) {
    from.SetPosition(0);
    for (int64_t left = size; left > 0;) {
      auto n = static_cast<int32_t>(std::min<int64_t>(left, kBlock));
      FBuffer.resize(static_cast<size_t>(std::max<int64_t>(FBuffer.size(), n)));
      from.ReadBuffer(FBuffer.data(), n);
      to.WriteBuffer(FBuffer.data(), n);
      left -= n;
    }
  }

  static constexpr int64_t kBlock = 1 << 20;
  const BuildOptions& FOptions;
  std::vector<char> FBuffer;
};

int Build(const std::vector<std::string>& args) {
  BuildOptions options;
  std::vector<Option> table = {
      {"--compress", false, [&](const std::string&) { options.compress = true; }},
      {"--v4", false, [&](const std::string&) { options.version4 = true; }},
  };
  std::vector<std::string> positional;
  if (!ParseArguments(args, table, 2, &positional)) return UsageError("build");
  options.sourceDir = TgmFileUtil::ExcludeTrailingDelimiters(positional[0]);
  options.output = positional[1];
  if (!TgmFileUtil::DirectoryExists(options.sourceDir)) {
    Fail("Not a folder: " + positional[0]);
  }
  std::vector<SourceItem> plan = PlanBuild(options.sourceDir);
  StorageSize size;
  for (const SourceItem& item : plan) {
    item.folder ? size.AddStorage() : size.AddStream(item.size, options.compress);
  }
  int version = size.Version(options.version4);

  PendingFile output(options.output);
  {
    TgmStorageRef root = TgmStorage::Create(output.Path(), kCreateMode, version);
    Builder(options).Add(*root, plan);
    // Written here, where a failure can still be told; made durable as it
    // takes the output's place.
    root->Commit(kCommitToDiskCache);
  }  // closed before it takes the output's place
  output.Commit();
  return 0;
}

// --- list -------------------------------------------------------------------

// Element names from a file are checked before they are opened as paths.
void CheckPlainName(const std::string& name, const std::string& path) {
  if (name.empty() || name == "." || name.find_first_of("/\\") != std::string::npos) {
    Fail("Unusable element name: " + path);
  }
}

class Lister {
 public:
  void Walk(TgmStorage& root) {
    root.Walk([&](const std::string& path, const stg::StatStg& element, size_t) {
      if (element.type == stg::kStgTyStorage) {
        CheckPlainName(Utf16ToAnsi(element.name), path);
        Line("storage\t-\t" + path);
      } else if (element.type == stg::kStgTyStream) {
        Line(Format("stream\t%llu\t", static_cast<unsigned long long>(element.size)) + path);
      }
    });
  }

  void Flush() {
    if (!WriteStdOut(FOut.data(), FOut.size())) Fail("Cannot write to standard output");
    FOut.clear();
  }

 private:
  void Line(const std::string& text) {
    FOut += ToTerminal(text) + "\n";
    if (FOut.size() >= 65536) Flush();
  }

  std::string FOut;
};

int List(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  if (!ParseArguments(args, {}, 1, &positional)) return UsageError("list");
  TgmStorageRef root = TgmStorage::Create(positional[0], kReadMode);
  Lister lister;
  lister.Walk(*root);
  lister.Flush();
  return 0;
}

// --- extract ----------------------------------------------------------------

bool IsControl(char c) {
  return (c > 0 && c < 0x20) || c == 0x7F;
}

// A name from the file as the terminal may show it: a control character (no
// Windows file name holds one) becomes "?".
std::string Shown(std::string name) {
  std::replace_if(name.begin(), name.end(), IsControl, '?');
  return name;
}

// Files are found without case, as the storage's readers find elements: two
// elements whose paths differ only in case would be extracted into one
// file, the later silently taking the earlier's place.
void RefuseCaseTwins(const std::vector<std::string>& streams) {
  std::map<std::string, std::string> seen;  // upper-cased path: as stored
  for (const std::string& listed : streams) {
    // Streams of the root storage are listed with a leading delimiter.
    std::string path = listed.substr(listed.rfind('/', 0) == 0 ? 1 : 0);
    for (size_t end = path.find('/');; end = path.find('/', end + 1)) {
      std::string prefix = path.substr(0, end);
      auto [it, added] = seen.emplace(AnsiUpperCase(prefix), prefix);
      if (!added && it->second != prefix) {
        Fail("Names differ only in case: " + Shown(it->second) + " and " + Shown(prefix));
      }
      if (end == std::string::npos) break;
    }
  }
}

// Writes every stream's bytes as stored, compressed or not.
class RawExtractor {
 public:
  RawExtractor(TgmStorage& root, const std::string& folder) : FRoot(root), FFolder(folder) {}

  void Extract(const std::string& streamPath) {
    // Names come from the file: nothing may land outside the folder, and a
    // control character would reach the terminal.
    if (std::any_of(streamPath.begin(), streamPath.end(), IsControl)) {
      Fail("Stream name not valid for a file: " + Shown(streamPath));
    }
    for (size_t i = 0; i <= streamPath.size();) {
      size_t end = std::min(streamPath.find_first_of("/\\", i), streamPath.size());
      std::string part = streamPath.substr(i, end - i);
      if (part == ".." || part.find(':') != std::string::npos) {
        Fail("Stream path leads out of the folder: " + streamPath);
      }
      i = end + 1;
    }
    std::string target = TgmFileUtil::CombinePath(FFolder, streamPath);
    std::unique_ptr<TgmStgStream> stream = FRoot.CreateStream(streamPath, kReadMode);
    std::string folder = TgmFileUtil::ExtractFilePath(target);
    if (folder != FMadeFolder) {
      if (!TgmFileUtil::ForceDirectories(folder)) {
        FailWithSystemError("Cannot create the folder of", target);
      }
      FMadeFolder = folder;
    }
    TWinFileStream file(target, fs::kGenericWrite, 0, fs::kCreateAlways);
    file.CopyFrom(*stream, 0);
  }

 private:
  TgmStorage& FRoot;
  std::string FFolder;
  std::string FMadeFolder;
};

int Extract(const std::vector<std::string>& args) {
  bool raw = false;
  std::vector<Option> table = {{"--raw", false, [&](const std::string&) { raw = true; }}};
  std::vector<std::string> positional;
  if (!ParseArguments(args, table, 2, &positional)) return UsageError("extract");
  // Absolute from here on: a short relative name such as "x" would pass for
  // a drive when its folders are made.
  const std::string folder = fs::GetFullPathName(positional[1]);
  TgmStorageRef root = TgmStorage::Create(positional[0], kReadMode);
  std::vector<std::string> streams;
  root->ListStreams(streams);
  RefuseCaseTwins(streams);
  if (!TgmFileUtil::ForceDirectories(folder)) FailWithSystemError("Cannot create", folder);
  // A link planted in the folder never takes a stream outside it.
  fs::AnchoredRoot anchor(folder);
  if (raw) {
    RawExtractor extractor(*root, folder);
    for (const std::string& path : streams)
      extractor.Extract(path);
  } else if (root->ExtractStreams(streams, folder) != static_cast<int>(streams.size())) {
    // Rare: go over the streams once more to name the first that fails.
    for (const std::string& path : streams) {
      if (!root->ExtractStream(path, folder, true)) {
        Fail("Cannot extract " + path + ": damaged compressed data or no folder for it");
      }
    }
  }
  return 0;
}

// --- cat --------------------------------------------------------------------

// Standard output as the destination of the decoding copy: written in order,
// never sought or resized once written to.
class StdOutStream : public TStream {
 public:
  int32_t Read(void*, int32_t) override { return -1; }
  int32_t Write(const void* buffer, int32_t count) override {
    if (count <= 0) return 0;
    if (!WriteStdOut(buffer, static_cast<size_t>(count))) return -1;
    FPosition += count;
    return count;
  }
  int64_t Seek(int64_t offset, fs::SeekOrigin origin) override {
    int64_t target = origin == fs::kSeekBegin ? offset : FPosition + offset;
    if (origin == fs::kSeekEnd || target != FPosition)
      throw EStreamError("Standard output cannot seek");
    return FPosition;
  }
  void SetSize(int64_t size) override {
    if (size != FPosition) throw EStreamError("Standard output cannot be resized");
  }

 private:
  int64_t FPosition = 0;
};

int Cat(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  if (!ParseArguments(args, {}, 2, &positional)) return UsageError("cat");
  TgmStorageRef root = TgmStorage::Create(positional[0], kReadMode);
  std::unique_ptr<TgmStgStream> stream = root->CreateStream(positional[1], kReadMode);
  StdOutStream out;
  if (!Decompress(*stream, out)) {
    Fail("Cannot read " + positional[1] + ": damaged compressed data or output failure");
  }
  return 0;
}

// --- merge ------------------------------------------------------------------

int Merge(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  if (!ParseArguments(args, {}, 2, &positional)) return UsageError("merge");
  const std::string& destination = positional[1];
  TgmStorageRef source = TgmStorage::Create(positional[0], kReadMode);
  // The merge goes into a copy, so that a failure leaves the destination
  // untouched.
  PendingFile merged(destination);
  if (!fs::CopyFile(destination, merged.Path(), false) ||
      !fs::SetFileAttributes(merged.Path(), fs::kAttrNormal)) {
    FailWithSystemError("Cannot copy", destination);
  }
  {
    TgmStorageRef target = TgmStorage::Create(merged.Path(), kWriteMode);
    source->CopyTo(target.get());
    target->Commit(kCommitToDiskCache);
  }
  merged.Commit();
  return 0;
}

}  // namespace
}  // namespace slv2::pack

SLV2PACK_COMMAND(build, "build", "SRC_DIR OUT.stg [--compress] [--v4]", slv2::pack::Build)
SLV2PACK_COMMAND(list, "list", "FILE", slv2::pack::List)
SLV2PACK_COMMAND(extract, "extract", "FILE DIR [--raw]", slv2::pack::Extract)
SLV2PACK_COMMAND(cat, "cat", "FILE PATH", slv2::pack::Cat)
SLV2PACK_COMMAND(merge, "merge", "SRC DEST", slv2::pack::Merge)
