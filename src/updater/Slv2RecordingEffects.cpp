// The effects of a dry run: nothing changes; every change is recorded as
// done, and the overlay remembers what later steps must see changed.
#include <map>
#include <set>
#include <type_traits>

#include "log/LogCategory.h"
#include "storage/FileUtil.h"
#include "storage/gmStorage.h"
#include "sys/Format.h"
#include "sys/ShFolder.h"
#include "sys/StrUtil.h"
#include "sys/WinError.h"
#include "sys/registry/RegFunctions.h"
#include "updater/Slv2Effects.h"
#include "updater/Slv2Paths.h"

namespace slv2 {

// The registry keys and values and the folders a dry run would have
// changed, shared by the run's updaters.
class TSlv2Overlay {
 public:
  // The copy is the source as this run has left it so far: what the run
  // wrote or deleted there comes along, and what later happens to the
  // source (its deletion, when the copy is half of a move) is not the
  // copy's.
  void CopyKey(reg::HKey fromRoot, const std::string& from, reg::HKey toRoot,
               const std::string& to) {
    std::lock_guard<std::mutex> lock(FMutex);
    std::string source = Name(fromRoot, from), target = Name(toRoot, to);
    bool gone = Deleted(source);
    std::string read = Source(source);
    auto values = Carried(FValues, source, target);
    auto copies = Carried(FCopies, source, target);
    auto written = Carried(FWritten, source, target);
    auto deleted = Carried(FDeleted, source, target);
    Forget(target);
    FValues.merge(values);
    FCopies.merge(copies);
    FWritten.merge(written);
    FDeleted.merge(deleted);
    if (gone) {
      FDeleted.insert(target);
    } else {
      FCopies[target] = read;
    }
  }
  void DeleteKey(reg::HKey root, const std::string& key) {
    std::lock_guard<std::mutex> lock(FMutex);
    std::string name = Name(root, key);
    Forget(name);
    FDeleted.insert(name);
  }
  void SetValue(reg::HKey root, const std::string& key, const std::string& name,
                const std::string& value) {
    std::lock_guard<std::mutex> lock(FMutex);
    FValues[Name(root, key) + "\\" + LowerCase(name)] = value;
    FWritten.insert(Name(root, key));
  }
  void MoveFolder(const std::string& from, const std::string& to) {
    std::lock_guard<std::mutex> lock(FMutex);
    FFolders[to] = Located(from);
  }

  bool KeyExists(reg::HKey root, const std::string& key) const {
    std::lock_guard<std::mutex> lock(FMutex);
    std::string name = Name(root, key);
    for (const std::string& written : FWritten)
      if (Below(name, written)) return true;
    if (Deleted(name)) return false;
    std::string source = Source(name);
    return RegKeyExists(RootOf(source), KeyOf(source));
  }
  std::string ReadString(reg::HKey root, const std::string& key, const std::string& value) const {
    std::lock_guard<std::mutex> lock(FMutex);
    std::string name = Name(root, key);
    auto it = FValues.find(name + "\\" + LowerCase(value));
    if (it != FValues.end()) return it->second;
    if (Deleted(name)) return std::string();
    std::string source = Source(name);
    return RegReadStringDef(RootOf(source), KeyOf(source), value, "");
  }
  std::string Located(const std::string& folder) const {
    for (const auto& [to, from] : FFolders) {
      if (TgmFileUtil::SameFileName(folder, to) || PathWithin(to, folder, false))
        return from + folder.substr(to.size());
    }
    return folder;
  }
  std::string LocatedLocked(const std::string& folder) const {
    std::lock_guard<std::mutex> lock(FMutex);
    return Located(folder);
  }

 private:
  // "<root in hexadecimal>\<key in lower case>", without outer delimiters:
  // registry keys compare regardless of case.
  static std::string Name(reg::HKey root, const std::string& key) {
    size_t first = key.find_first_not_of('\\');
    size_t last = key.find_last_not_of('\\');
    std::string inner =
        first == std::string::npos ? std::string() : key.substr(first, last - first + 1);
    return Format("%08X", static_cast<unsigned>(root)) + "\\" + LowerCase(inner);
  }
  static reg::HKey RootOf(const std::string& name) {
    return static_cast<reg::HKey>(std::stoul(name.substr(0, 8), nullptr, 16));
  }
  static std::string KeyOf(const std::string& name) { return name.substr(9); }
  static std::string LowerCase(std::string text) {
    for (char& c : text)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
  }
  // True when `name` is `key` or lies below it.
  static bool Below(const std::string& key, const std::string& name) {
    return name == key ||
           (name.size() > key.size() && name.starts_with(key) && name[key.size()] == '\\');
  }
  static std::string Renamed(const std::string& name, const std::string& from,
                             const std::string& to) {
    return to + name.substr(from.size());
  }
  // Where a key is read from in the registry: the source of the innermost
  // copy that holds it, else its own place.
  std::string Source(const std::string& name) const {
    const std::pair<const std::string, std::string>* innermost = nullptr;
    for (const auto& copy : FCopies) {
      if (Below(copy.first, name) && (!innermost || copy.first.size() > innermost->first.size()))
        innermost = &copy;
    }
    return innermost ? Renamed(name, innermost->first, innermost->second) : name;
  }
  bool Deleted(const std::string& name) const {
    for (const std::string& key : FDeleted)
      if (Below(key, name)) return true;
    return false;
  }
  // What this run did at or below a key, which a copy over it or its
  // deletion replaces.
  void Forget(const std::string& key) {
    std::erase_if(FValues, [&key](const auto& entry) { return Below(key, entry.first); });
    std::erase_if(FCopies, [&key](const auto& entry) { return Below(key, entry.first); });
    std::erase_if(FWritten, [&key](const std::string& name) { return Below(key, name); });
    std::erase_if(FDeleted, [&key](const std::string& name) { return Below(key, name); });
  }
  // What this run did at or below `from`, as done below `to`.
  template <class Names>
  static Names Carried(const Names& names, const std::string& from, const std::string& to) {
    Names carried;
    for (const auto& entry : names) {
      if constexpr (std::is_same_v<Names, std::set<std::string>>) {
        if (Below(from, entry)) carried.insert(Renamed(entry, from, to));
      } else {
        if (Below(from, entry.first)) carried.emplace(Renamed(entry.first, from, to), entry.second);
      }
    }
    return carried;
  }

  mutable std::mutex FMutex;
  std::map<std::string, std::string> FCopies;  // destination: source
  std::set<std::string> FDeleted;
  std::map<std::string, std::string> FValues;
  std::set<std::string> FWritten;
  std::map<std::string, std::string> FFolders;  // new place: where the content is
};

namespace {

class TRecordingEffects : public TSlv2Effects {
 public:
  TRecordingEffects(TLogCategory& logger, std::shared_ptr<TSlv2Overlay> overlay)
      : TSlv2Effects(logger), FOverlay(std::move(overlay)) {}

  // Nothing is written beside an installed file.
  std::string WorkFolder(const std::string&) const override { return std::string(); }
  // The folder would be made unless a file stands where it, or a folder
  // above it, would be: then the real run fails, and so must the decision.
  bool MakeFolder(const std::string& folder) override {
    for (std::string dir = TgmFileUtil::ExcludeTrailingDelimiters(folder); !dir.empty();) {
      if (TgmFileUtil::DirectoryExists(dir)) return true;
      if (FileExists(dir)) {
        fs::SetLastError(kErrorAlreadyExists);
        return false;
      }
      std::string parent =
          TgmFileUtil::ExcludeTrailingDelimiters(TgmFileUtil::ExtractFilePath(dir));
      if (parent == dir) break;
      dir = std::move(parent);
    }
    return true;
  }
  // Nothing was renamed, and the folders may not exist yet.
  bool FlushFolders(const std::vector<std::string>&) override { return true; }
  std::string SpecialFolder(int csidl) override { return GetSpecialFolderPath(csidl, false); }

  bool Replace(TSlv2TempFile&, const std::string&, TSlv2Outcome outcome) override {
    return Done(true, outcome);
  }
  bool Place(TSlv2NewContent&, const std::string&, TSlv2Outcome outcome) override {
    return Done(true, outcome);
  }
  bool Delete(const std::string&, bool, TSlv2Outcome outcome) override {
    return Done(true, outcome);
  }
  bool WriteText(const std::string&, const std::string&, TSlv2Outcome outcome) override {
    return Done(true, outcome);
  }
  bool Merge(const std::string& patchFile, const std::string& target,
             TSlv2Outcome outcome) override {
    // Both open as compound files, the installed one as the merge holds it.
    TgmStorage::Create(patchFile, stg::kStgmRead | stg::kStgmShareDenyWrite);
    TgmStorage::Create(target, stg::kStgmRead | stg::kStgmShareExclusive);
    return Done(true, outcome);
  }
  int Unpack(TgmStorage& storage, const std::vector<std::string>& streams,
             const std::string& destination, TSlv2Outcome outcome) override {
    // A name leading out of the destination ends the run's unpacking before
    // anything is written: the dry run ends the same way.
    for (const std::string& stream : streams)
      storage.ExtractTarget(stream, destination, true);
    Done(true, outcome);
    return static_cast<int>(streams.size());
  }
  bool ImportScript(const std::string&, TSlv2Outcome outcome) override {
    return Done(true, outcome);
  }
  bool MoveFolder(const std::string& from, const std::string& to, std::vector<std::string>&,
                  TSlv2Outcome outcome) override {
    FOverlay->MoveFolder(from, to);
    return Done(true, outcome);
  }
  bool Rename(const std::string&, const std::string&, TSlv2Outcome outcome) override {
    return Done(true, outcome);
  }
  bool SetRights(const std::function<bool()>&, TSlv2Outcome outcome) override {
    return Done(true, outcome);
  }
  uint32_t Run(const std::string&, TSlv2Outcome outcome) override {
    Done(true, outcome);
    return 0;
  }
  bool CopyKey(reg::HKey fromRoot, const std::string& from, reg::HKey toRoot, const std::string& to,
               TSlv2Outcome outcome) override {
    FOverlay->CopyKey(fromRoot, from, toRoot, to);
    return Done(true, outcome);
  }
  bool MoveKey(reg::HKey fromRoot, const std::string& from, reg::HKey toRoot, const std::string& to,
               TSlv2Outcome outcome) override {
    FOverlay->CopyKey(fromRoot, from, toRoot, to);
    FOverlay->DeleteKey(fromRoot, from);
    return Done(true, outcome);
  }
  void WriteString(reg::HKey root, const std::string& key, const std::string& name,
                   const std::string& value) override {
    FOverlay->SetValue(root, key, name, value);
  }

  bool RemoveFile(const std::string&) override { return true; }
  bool RemoveEmptyFolder(const std::string&) override { return true; }

  bool KeyExists(reg::HKey root, const std::string& key) const override {
    return FOverlay->KeyExists(root, key);
  }
  std::string ReadString(reg::HKey root, const std::string& key,
                         const std::string& name) const override {
    return FOverlay->ReadString(root, key, name);
  }
  std::string Located(const std::string& folder) const override {
    return FOverlay->LocatedLocked(folder);
  }

  // The dry run's line says that the change would fail.
  void Refused(const char* operation, TSlv2Outcome outcome, const std::string&) override {
    Logger().Error(Format("%s(): \"%s\" would fail: %s", operation, outcome.target.c_str(),
                          outcome.failure.c_str()));
    Record(std::move(outcome));
  }

 private:
  std::shared_ptr<TSlv2Overlay> FOverlay;
};

}  // namespace

std::shared_ptr<TSlv2Overlay> MakeOverlay() {
  return std::make_shared<TSlv2Overlay>();
}

std::unique_ptr<TSlv2Effects> MakeRecordingEffects(TLogCategory& logger,
                                                   std::shared_ptr<TSlv2Overlay> overlay) {
  return std::make_unique<TRecordingEffects>(logger, std::move(overlay));
}

}  // namespace slv2
