#include "storage/gmStorage.h"

#include <algorithm>

#include "storage/ExtractBatch.h"
#include "storage/FileUtil.h"
#include "storage/gmZLibUtil.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/Format.h"
#include "sys/WinError.h"

namespace slv2 {

namespace {

constexpr uint32_t kCreateMask = stg::kStgmCreate | stg::kStgmConvert;
constexpr size_t kMaxName = 31;

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < path.size()) {
    size_t j = path.find_first_of("/\\", i);
    if (j == std::string::npos) j = path.size();
    if (j > i) parts.push_back(path.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

std::string JoinComponents(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& part : parts) {
    if (!out.empty()) out += '/';
    out += part;
  }
  return out;
}

std::string Cut(const std::string& name) {
  return name.substr(0, kMaxName);
}

uint32_t AdjustStorageMode(uint32_t mode) {
  return ((mode & ~(stg::kStgmPriority | stg::kStgmShareMask | stg::kStgmDeleteOnRelease)) |
          stg::kStgmShareExclusive);
}

uint32_t AdjustStreamMode(uint32_t mode) {
  return ((mode & ~(stg::kStgmShareMask | stg::kStgmDeleteOnRelease | stg::kStgmTransacted)) |
          stg::kStgmShareExclusive);
}

bool IsControl(char c) {
  auto u = static_cast<unsigned char>(c);
  return (u != 0 && u < 0x20) || u == 0x7F;
}

// A component that would lead extraction out of its folder, or that no
// Windows file name may be (a control character would also reach the
// messages that name it).
bool Escapes(const std::string& part) {
  return part == ".." || part.find(':') != std::string::npos ||
         std::any_of(part.begin(), part.end(), IsControl);
}

// A stream path for a message: control characters shown as "?".
std::string Printable(std::string text) {
  std::replace_if(text.begin(), text.end(), IsControl, '?');
  return text;
}

}  // namespace

// --- TgmStorageRef ----------------------------------------------------------

TgmStorageRef& TgmStorageRef::operator=(TgmStorageRef&& other) noexcept {
  if (this != &other) {
    reset();
    FStorage = std::exchange(other.FStorage, nullptr);
  }
  return *this;
}

void TgmStorageRef::reset() {
  TgmStorage::Release(std::exchange(FStorage, nullptr));
}

// --- TgmStgStream -----------------------------------------------------------

TgmStgStream::TgmStgStream(std::unique_ptr<stg::IStream> stream, uint32_t mode, TgmStorage* storage)
    : TgmIStream(std::move(stream), mode) {
  SLV2_ASSERT(storage != nullptr, "gmStorage");
  FStorage = storage->NewReference();
}

void TgmStgStream::Error(const std::string& message, stg::HRESULT code) {
  throw EgmStgStream(ErrorText(message, code));
}

// --- TgmStorage: life -------------------------------------------------------

TgmStorage::TgmStorage(std::unique_ptr<stg::IStorage> storage, uint32_t mode, TgmStorage* parent)
    : FStorage(std::move(storage)), FParent(parent), FMode(mode) {
  if (FParent) ++FParent->FRefCount;
}

TgmStorage::~TgmStorage() {
  FStorage.reset();
  FElementNames.reset();
}

TgmStorageRef TgmStorage::Create(const std::string& fileName, uint32_t mode, int version) {
  static const std::string openText = Utf8ToAnsi("Не могу открыть хранилище %s (%d)");
  static const std::string createText = Utf8ToAnsi("Не могу создать хранилище %s (%d)");
  TgmStorageRef root(new TgmStorage(nullptr, mode, nullptr));
  bool create = (mode & kCreateMask) != 0;
  root->FLastError = create ? stg::StgCreateDocfile(fileName, mode, &root->FStorage, version)
                            : stg::StgOpenStorage(fileName, mode, &root->FStorage);
  if (root->FLastError != stg::kS_OK) {
    // The half-built root goes with `root` as the exception leaves.
    root->Error(
        Format((create ? createText : openText).c_str(), fileName.c_str(), static_cast<int>(mode)),
        root->FLastError);
  }
  return root;
}

void TgmStorage::Release(TgmStorage* storage) {
  // Up the chain in a loop: chains are as long as storages nest deep.
  while (storage && --storage->FRefCount == 0) {
    TgmStorage* parent = storage->FParent;
    delete storage;
    storage = parent;
  }
}

int32_t TgmStorage::RefCount(const TgmStorage* storage) {
  return storage ? storage->FRefCount : 0;
}

TgmStorageRef TgmStorage::NewReference() {
  ++FRefCount;
  return TgmStorageRef(this);
}

void TgmStorage::Error(const std::string& message, stg::HRESULT code) {
  throw EgmStorage(Format("%s.%s (0x%X) %s", "TgmStorage", message.c_str(),
                          static_cast<uint32_t>(code), stg::HResultMessage(code).c_str()));
}

// --- Opening by path --------------------------------------------------------

bool TgmStorage::MakeStgPath(const std::string& path, PathList& list, bool create, uint32_t mode) {
  list.clear();
  bool failed = false;
  try {
    TgmStorage* current = this;
    for (const std::string& part : SplitPath(path)) {
      std::string name = Cut(part);
      if (name == ".") continue;
      std::u16string wide = AnsiToUtf16(name);
      std::unique_ptr<stg::IStorage> child;
      FLastError = current->FStorage->OpenStorage(wide, mode & ~kCreateMask, &child);
      if (FLastError != stg::kS_OK && create) {
        FLastError = current->FStorage->CreateStorage(wide, mode, &child);
        if (FLastError == stg::kS_OK) current->FElementNames.reset();
      }
      if (FLastError != stg::kS_OK) {
        failed = true;
        break;
      }
      list.emplace_back(name, TgmStorageRef(new TgmStorage(std::move(child), mode, current)));
      current = list.back().second.get();
    }
  } catch (const std::exception&) {
    failed = true;  // reported below, as every failure of the walk is
  }
  if (failed) {
    list.clear();
    Error("MakeStgPath()", FLastError);
  }
  return true;
}

bool TgmStorage::CreateStorage(const std::string& path, uint32_t mode, TgmStorageRef* storage) {
  SLV2_ASSERT(FStorage && storage && !path.empty(), "gmStorage");
  mode = AdjustStorageMode(mode);
  storage->reset();
  PathList list;
  try {
    MakeStgPath(path, list, (mode & kCreateMask) != 0, mode);
  } catch (const std::exception&) {
    Error("CreateStorage()", FLastError);
  }
  // The other levels stay held by the ones below them.
  *storage = list.empty() ? NewReference() : std::move(list.back().second);
  return true;
}

std::unique_ptr<TgmStgStream> TgmStorage::CreateStream(const std::string& path, uint32_t mode) {
  SLV2_ASSERT(FStorage, "gmStorage");
  mode = AdjustStreamMode(mode);
  std::vector<std::string> parts = SplitPath(path);
  if (parts.empty()) {
    FLastError = stg::kStgEInvalidName;
    Error(Format("CreateStream(%s, %x)", path.c_str(), mode), FLastError);
  }
  if (parts.size() == 1) return OpenStreamIn(*this, parts[0], mode);
  std::string name = Cut(parts.back());
  parts.pop_back();
  // The levels' list references go with `list`; the stream holds the chain.
  PathList list;
  MakeStgPath(JoinComponents(parts), list, (mode & kCreateMask) != 0, mode);
  return OpenStreamIn(list.empty() ? *this : *list.back().second, name, mode);
}

std::unique_ptr<TgmStgStream> TgmStorage::OpenStreamIn(TgmStorage& holder, const std::string& name,
                                                       uint32_t mode) {
  std::unique_ptr<stg::IStream> stream;
  if (mode & kCreateMask) {
    holder.FElementNames.reset();
    FLastError = holder.FStorage->CreateStream(AnsiToUtf16(name), mode, &stream);
  } else {
    FLastError = holder.FStorage->OpenStream(AnsiToUtf16(name), mode, &stream);
  }
  if (FLastError != stg::kS_OK)
    Error(Format("CreateStream(%s, %x)", name.c_str(), mode), FLastError);
  return std::make_unique<TgmStgStream>(std::move(stream), mode, &holder);
}

// Opens a child by its exact name, never parsed as a path: a name read from a
// file may hold "." or separators.
TgmStorageRef TgmStorage::OpenChild(const std::string& name) {
  uint32_t mode = AdjustStorageMode(stg::kStgmShareDenyWrite);
  std::unique_ptr<stg::IStorage> child;
  FLastError = FStorage->OpenStorage(AnsiToUtf16(name), mode, &child);
  if (FLastError != stg::kS_OK) Error("CreateStorage()", FLastError);
  return TgmStorageRef(new TgmStorage(std::move(child), mode, this));
}

// --- Elements ---------------------------------------------------------------

bool TgmStorage::ElementExists(const std::string& path) {
  try {
    if (path.empty()) return false;
    std::vector<std::string> parts = SplitPath(path);
    if (parts.empty()) return FParent == nullptr;
    if (parts.size() == 1) return HasElement(parts[0]);
    std::string name = Cut(parts.back());
    parts.pop_back();
    PathList list;
    MakeStgPath(JoinComponents(parts), list, false, stg::kStgmReadWrite | stg::kStgmShareExclusive);
    return (list.empty() ? *this : *list.back().second).HasElement(name);
  } catch (const std::exception&) {
    return false;  // the contract: an existence test never raises
  }
}

bool TgmStorage::HasElement(const std::string& name) {
  if (!FElementNames && !GetElementNames()) return false;
  for (const std::string& element : *FElementNames) {
    if (AnsiSameText(element, name)) return true;
  }
  return false;
}

int TgmStorage::EnumElements(const ElementCallback& callback) {
  SLV2_ASSERT(FStorage, "gmStorage");
  std::unique_ptr<stg::IEnumStatStg> enumerator;
  FLastError = FStorage->EnumElements(&enumerator);
  if (FLastError != stg::kS_OK) Error("EnumElements()", FLastError);
  constexpr uint32_t kBatch = 16;
  stg::StatStg records[kBatch];
  int count = 0;
  uint32_t fetched;
  do {
    fetched = 0;
    stg::HRESULT result = enumerator->Next(kBatch, records, &fetched);
    FLastError = result == stg::kS_FALSE ? stg::kS_OK : result;
    if (FLastError != stg::kS_OK) Error("EnumElements()", FLastError);
    for (uint32_t i = 0; i < fetched; ++i) {
      ++count;
      if (callback(records[i])) return count;
    }
  } while (fetched == kBatch);
  return count;
}

bool TgmStorage::GetElementNames() {
  FElementNames.emplace();
  EnumElements([this](const stg::StatStg& element) {
    FElementNames->push_back(Utf16ToAnsi(element.name));
    return false;
  });
  return FLastError == stg::kS_OK;
}

std::vector<stg::StatStg> TgmStorage::Elements() {
  std::vector<stg::StatStg> elements;
  EnumElements([&](const stg::StatStg& element) {
    elements.push_back(element);
    return false;
  });
  return elements;
}

void TgmStorage::Walk(const WalkCallback& visit) {
  // One level per open storage: its elements and how far they were passed.
  struct Level {
    TgmStorageRef storage;
    std::vector<stg::StatStg> elements;
    size_t next;
    std::string prefix;
  };
  std::vector<Level> levels;
  levels.push_back({NewReference(), Elements(), 0, ""});
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.elements.size()) {
      levels.pop_back();
      continue;
    }
    const stg::StatStg& element = level.elements[level.next++];
    std::string path = level.prefix + Utf16ToAnsi(element.name);
    visit(path, element, levels.size());
    if (element.type != stg::kStgTyStorage) continue;
    if (levels.size() >= kMaxDepth) {
      throw EgmStorageTooDeep(
          Format("TgmStorage.Walk(): storages nested deeper than %d levels in \"%s\"",
                 static_cast<int>(kMaxDepth),
                 Printable(levels[1].prefix.substr(0, levels[1].prefix.size() - 1)).c_str()));
    }
    TgmStorageRef child = level.storage->OpenChild(Utf16ToAnsi(element.name));
    std::vector<stg::StatStg> elements = child->Elements();
    levels.push_back({std::move(child), std::move(elements), 0, path + "/"});
  }
}

void TgmStorage::ListStreams(std::vector<std::string>& list) {
  Walk([&](const std::string& path, const stg::StatStg& element, size_t depth) {
    if (element.type != stg::kStgTyStream) return;
    list.push_back(depth == 1 && !FParent ? "/" + path : path);
  });
}

std::string TgmStorage::GetName() {
  stg::StatStg record;
  Stat(&record, true);
  return Utf16ToAnsi(record.name);
}

bool TgmStorage::Stat(stg::StatStg* record, bool wantName) {
  SLV2_ASSERT(FStorage && record, "gmStorage");
  FLastError = FStorage->Stat(record, wantName ? stg::kStatFlagDefault : stg::kStatFlagNoName);
  if (FLastError != stg::kS_OK) Error("Stat()", FLastError);
  return true;
}

bool TgmStorage::Commit(uint32_t flags) {
  SLV2_ASSERT(FStorage, "gmStorage");
  FLastError = FStorage->Commit(flags);
  if (FLastError != stg::kS_OK) Error("Commit()", FLastError);
  return true;
}

bool TgmStorage::CopyTo(TgmStorage* destination) {
  SLV2_ASSERT(FStorage && destination && destination->FStorage, "gmStorage");
  FLastError = FStorage->CopyTo(*destination->FStorage);
  // The destination's children changed, whatever came of the copy.
  destination->FElementNames.reset();
  if (FLastError != stg::kS_OK) Error("CopyTo()", FLastError);
  return true;
}

// --- Extraction -------------------------------------------------------------

struct TgmStorage::MadeFolder {
  std::string path;
  fs::HeldFolder held;
};

bool TgmStorage::ExtractStreamToFile(const std::string& streamPath, const std::string& fileName) {
  return ExtractToFile(streamPath, fileName);
}

bool TgmStorage::ExtractStream(const std::string& streamPath, const std::string& folder,
                               bool keepPath) {
  return ExtractToFile(streamPath, ExtractTarget(streamPath, folder, keepPath));
}

int TgmStorage::ExtractStreams(const std::vector<std::string>& streamPaths,
                               const std::string& folder, const ProgressCallback& progress) {
  SLV2_ASSERT(FStorage, "gmStorage");
  int count = 0;
  int last = static_cast<int>(streamPaths.size()) - 1;
  MadeFolder made;
  TExtractBatch batch;
  for (int i = 0; i <= last; ++i) {
    const std::string& path = streamPaths[static_cast<size_t>(i)];
    std::string target = ExtractTarget(path, folder, true);
    if (ExtractToFile(path, target, &made, &batch)) ++count;
    if (progress) progress(path, target, i + 1, last);
  }
  batch.Finish();
  return count;
}

std::string TgmStorage::ExtractTarget(const std::string& streamPath, const std::string& folder,
                                      bool keepPath) {
  std::vector<std::string> parts = SplitPath(streamPath);
  if (!keepPath && !parts.empty()) parts.erase(parts.begin(), parts.end() - 1);
  for (const std::string& part : parts) {
    // Names come from the storage, which may be hostile: nothing is written
    // outside the folder.
    if (Escapes(part)) {
      FLastError = stg::kStgEInvalidName;
      Error(Format("ExtractStream(%s)", Printable(streamPath).c_str()), FLastError);
    }
  }
  return TgmFileUtil::CombinePath(folder, keepPath ? streamPath : JoinComponents(parts));
}

bool TgmStorage::ExtractToFile(const std::string& streamPath, const std::string& fileName,
                               MadeFolder* made, TExtractBatch* batch) {
  SLV2_ASSERT(FStorage, "gmStorage");
  std::unique_ptr<TgmStgStream> stream = CreateStream(streamPath, stg::kStgmShareDenyWrite);
  // Streams of one storage come together: a run of them into one folder
  // makes sure of that folder once and reaches it once.
  std::string folder = TgmFileUtil::ExtractFilePath(fileName);
  if (!folder.empty() && !(made && made->path == folder)) {
    if (!TgmFileUtil::ForceDirectories(folder)) return false;
    if (made) *made = MadeFolder{folder, fs::HeldFolder(folder)};
  }
  // The content goes to a new file that takes the target's name once
  // complete: a failure or a kill part-way never leaves the target
  // half-written, and an installed file of that name keeps its content.
  fs::NewFile file = fs::NewFile::Create(folder.empty() ? std::string(".") : folder);
  if (!file.Valid()) {
    throw EFileOpenError(Format("Cannot create file %s: %s", fileName.c_str(),
                                SysErrorMessage(fs::LastError()).c_str()));
  }
  int64_t size = 0;
  {
    THandleStream out(std::move(file.Handle()));
    bool complete = Decompress(*stream, out);
    size = out.Position();
    file.Handle() = std::move(out.Handle());
    if (!complete) return false;
  }
  // Larger files start their way to the disk now, so that the batch's flush
  // finds them written; small ones go together with the flush.
  if (batch && size >= (64 << 10)) file.Handle().StartFlush();
  if (batch) {
    batch->Add(std::move(file), fileName, size);
    return true;
  }
  if (!file.Handle().Flush() || !file.Place(fileName) ||
      !fs::FlushFolders({folder.empty() ? std::string(".") : folder})) {
    throw EFileOpenError(Format("Cannot create file %s: %s", fileName.c_str(),
                                SysErrorMessage(fs::LastError()).c_str()));
  }
  return true;
}

}  // namespace slv2
