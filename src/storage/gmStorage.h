// gmStorage: the wrapper over compound files. TgmStorage is one open storage,
// the root of a compound file on disk or a storage nested in another;
// TgmStgStream is a stream inside one. Platform failures raise EgmStorage
// (EgmStgStream for stream operations) with "TgmStorage.<text> (0x<CODE>)
// <platform text>".
//
// Storages are reference-counted and form chains child to parent: a nested
// storage holds a reference on the storage it was opened from, and a stream on
// its storage, so the root stays open while anything opened from it lives and
// giving up the last reference of a chain closes the chain. TgmStorageRef
// holds one such reference.
//
// Element paths separate components with "/" or "\" (runs count as one,
// leading and trailing ones are ignored); components naming storages are cut
// to the format's 31 characters; names are compared by the platform, which
// ignores case.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "storage/StgApi.h"
#include "storage/gmStrmUtil.h"
#include "sys/Exception.h"

namespace slv2 {

class TExtractBatch;

SLV2_DECLARE_EXCEPTION(EgmStorage, Exception);
SLV2_DECLARE_EXCEPTION(EgmStgStream, EgmIStream);
// A walk met storages nested deeper than TgmStorage::kMaxDepth levels.
SLV2_DECLARE_EXCEPTION(EgmStorageTooDeep, EgmStorage);

class TgmStorage;

// One counted reference on a storage, given up (TgmStorage::Release) when the
// holder is reset or goes.
class TgmStorageRef {
 public:
  TgmStorageRef() = default;
  ~TgmStorageRef() { reset(); }
  TgmStorageRef(TgmStorageRef&& other) noexcept
      : FStorage(std::exchange(other.FStorage, nullptr)) {}
  TgmStorageRef& operator=(TgmStorageRef&& other) noexcept;
  TgmStorageRef(const TgmStorageRef&) = delete;
  TgmStorageRef& operator=(const TgmStorageRef&) = delete;

  TgmStorage* get() const { return FStorage; }
  TgmStorage* operator->() const { return FStorage; }
  TgmStorage& operator*() const { return *FStorage; }
  explicit operator bool() const { return FStorage != nullptr; }
  void reset();

 private:
  friend class TgmStorage;
  // Takes over a reference the caller already counted.
  explicit TgmStorageRef(TgmStorage* counted) : FStorage(counted) {}
  TgmStorage* FStorage = nullptr;
};

// A stream element; keeps its storage chain open while it lives.
class TgmStgStream : public TgmIStream {
 public:
  TgmStgStream(std::unique_ptr<stg::IStream> stream, uint32_t mode, TgmStorage* storage);
  // Raises EgmStgStream with the adapter's text.
  [[noreturn]] void Error(const std::string& message, stg::HRESULT code) override;

 private:
  TgmStorageRef FStorage;
};

class TgmStorage {
 public:
  // Called for each element record; returns true to stop the enumeration.
  using ElementCallback = std::function<bool(const stg::StatStg& element)>;
  // Called after each stream: its path, the file it went to, its 1-based
  // index and the number of streams minus one.
  using ProgressCallback = std::function<void(const std::string& streamPath,
                                              const std::string& fileName, int index, int last)>;
  // The levels MakeStgPath opened: component text and one reference each.
  using PathList = std::vector<std::pair<std::string, TgmStorageRef>>;
  // Called for each element of a walk with its path below the storage walked
  // ("/" between components) and its depth (1 for the storage's children).
  using WalkCallback =
      std::function<void(const std::string& path, const stg::StatStg& element, size_t depth)>;
  // Walks go no deeper: no file system holds a deeper folder tree, and the
  // paths of deeper elements would cost memory and time with the square of
  // their depth.
  static constexpr size_t kMaxDepth = 1024;

  // Opens a compound file, or creates it (of the format's `version`, 3 or 4)
  // when the mode has STGM_CREATE or STGM_CONVERT. Raises EgmStorage
  // "Не могу открыть хранилище %s (%d)" / "Не могу создать хранилище %s (%d)"
  // (file name, mode).
  static TgmStorageRef Create(const std::string& fileName, uint32_t mode, int version = 3);

  TgmStorage(const TgmStorage&) = delete;
  TgmStorage& operator=(const TgmStorage&) = delete;

  [[noreturn]] virtual void Error(const std::string& message, stg::HRESULT code);

  // Counts down and destroys at 0; a null storage is ignored.
  static void Release(TgmStorage* storage);
  // 0 for a null storage.
  static int32_t RefCount(const TgmStorage* storage);

  // Opens (or, with a create mode, creates) the nested storage of a path; the
  // caller owns the reference put into `storage`. Any failure raises
  // "CreateStorage()".
  bool CreateStorage(const std::string& path, uint32_t mode, TgmStorageRef* storage);
  // Opens (or creates) a stream by path. Raises "CreateStream(<name>, <mode>)"
  // when the stream is refused, "MakeStgPath()" when a storage level is.
  std::unique_ptr<TgmStgStream> CreateStream(const std::string& path, uint32_t mode);
  // Opens the chain of storages of a path into `list`; raises "MakeStgPath()"
  // after releasing every level again.
  bool MakeStgPath(const std::string& path, PathList& list, bool create, uint32_t mode);

  // Never raises. One component is looked up in the name cache; deeper paths
  // open their levels read-write (so they answer false under a read-only
  // root).
  bool ElementExists(const std::string& path);
  // Passes this storage's element records to `callback`, fetched 16 at a
  // time, in the platform's order; returns how many it passed.
  int EnumElements(const ElementCallback& callback);
  // Refills the name cache.
  bool GetElementNames();
  // Passes every element below to `visit`, depth first in the platform's
  // order, each storage before its content, without recursion and opening
  // each storage once. Raises EgmStorageTooDeep past kMaxDepth levels.
  void Walk(const WalkCallback& visit);
  // Appends the path of every stream below, in the order of Walk: on a root,
  // streams directly in it come with a leading "/" ("/a.txt",
  // "files/x.dll"); on a nested storage paths are relative to it ("x.dll",
  // "sub/y.dll").
  void ListStreams(std::vector<std::string>& list);
  std::string GetName();
  bool Stat(stg::StatStg* record, bool wantName);
  bool Commit(uint32_t flags);
  // Copies every element into `destination`: streams of the same name are
  // replaced, storages of the same name merged.
  bool CopyTo(TgmStorage* destination);

  // Writes a stream (inflated when it carries the compressed-stream header)
  // to a file, creating its folder. False when the folder cannot be made or
  // the compressed data is damaged; a missing stream or an uncreatable file
  // raises.
  bool ExtractStreamToFile(const std::string& streamPath, const std::string& fileName);
  // To the folder joined with the stream path (keepPath) or its last
  // component. A path that would lead out of the folder (a ".." component, a
  // drive) raises "ExtractStream(<path>)".
  bool ExtractStream(const std::string& streamPath, const std::string& folder, bool keepPath);
  // Each stream to the folder with its path kept; returns how many succeeded.
  int ExtractStreams(const std::vector<std::string>& streamPaths, const std::string& folder,
                     const ProgressCallback& progress = nullptr);
  // The file a stream is extracted to below `folder`; raises as ExtractStream
  // does for a path that would lead out of it.
  std::string ExtractTarget(const std::string& streamPath, const std::string& folder,
                            bool keepPath);

  stg::HRESULT LastError() const { return FLastError; }
  uint32_t Mode() const { return FMode; }

 protected:
  virtual ~TgmStorage();

 private:
  // A nested storage over `storage`, holding a reference on `parent`.
  TgmStorage(std::unique_ptr<stg::IStorage> storage, uint32_t mode, TgmStorage* parent);

  friend class TgmStgStream;
  // Counts one more reference, for the holder returned.
  TgmStorageRef NewReference();
  std::unique_ptr<TgmStgStream> OpenStreamIn(TgmStorage& holder, const std::string& name,
                                             uint32_t mode);
  TgmStorageRef OpenChild(const std::string& name);
  // The folder that extraction last made sure of, held open for the files
  // that follow it there.
  struct MadeFolder;
  // With a batch the file takes its place when the batch is applied.
  bool ExtractToFile(const std::string& streamPath, const std::string& fileName,
                     MadeFolder* made = nullptr, TExtractBatch* batch = nullptr);
  bool HasElement(const std::string& name);
  std::vector<stg::StatStg> Elements();

  std::unique_ptr<stg::IStorage> FStorage;
  TgmStorage* FParent = nullptr;
  int32_t FRefCount = 1;
  stg::HRESULT FLastError = 0;
  uint32_t FMode = 0;
  std::optional<std::vector<std::string>> FElementNames;
};

}  // namespace slv2
