#include "log/LogCategory.h"
#include "storage/Stream.h"
#include "storage/gmZLibUtil.h"
#include "sys/Format.h"
#include "updater/Slv2IniFile.h"
#include "updater/Slv2Updater.h"

namespace slv2 {

namespace {

// Ini files of an update storage are a few kilobytes; an element that would
// be larger once inflated is refused before it can take the memory.
constexpr int64_t kMaxIniSize = 4 << 20;

// A memory stream that refuses to grow past its limit.
class TBoundedMemoryStream : public TMemoryStream {
 public:
  explicit TBoundedMemoryStream(int64_t limit) : FLimit(limit) {}
  int32_t Write(const void* buffer, int32_t count) override {
    if (Position() + count > FLimit) {
      FOverflowed = true;
      return -1;
    }
    return TMemoryStream::Write(buffer, count);
  }
  bool Overflowed() const { return FOverflowed; }

 private:
  int64_t FLimit;
  bool FOverflowed = false;
};

}  // namespace

bool TSlv2Updater::LoadIniFromStorage(const std::string& elementName, TSlv2IniFile& ini,
                                      TgmStorage* storage) {
  ini.Clear();
  SLV2_ASSERT(FStorage, "Slv2Updater");
  if (!storage) storage = FStorage.get();
  if (!storage->ElementExists(elementName)) return false;
  std::unique_ptr<TgmStgStream> stream =
      storage->CreateStream(elementName, stg::kStgmRead | stg::kStgmShareDenyWrite);
  TBoundedMemoryStream text(kMaxIniSize);
  if (!Decompress(*stream, text)) {
    Logger().Error(text.Overflowed() ? Format("%s(): \"%s\" is larger than %d bytes, ignored",
                                              "LoadIniFromStorage", elementName.c_str(),
                                              static_cast<int>(kMaxIniSize))
                                     : Format("%s(): \"%s\" is damaged, ignored",
                                              "LoadIniFromStorage", elementName.c_str()));
    return false;
  }
  return ini.SetText(text.ToString());
}

void TSlv2Updater::LoadIniFiles() {
  SLV2_ASSERT(FStorage, "Slv2Updater");
  TSlv2IniFile ini;
  auto loadDeletions = [&](const char* element, std::vector<std::string>& list) {
    list.clear();
    if (!LoadIniFromStorage(element, ini)) return;
    if (const TSlv2IniFile::Section* files = ini.FindSection("Files")) list = files->Values();
  };
  auto loadReplacements = [&](const char* element, TSlv2StrReplaceList& list) {
    list.clear();
    if (!LoadIniFromStorage(element, ini)) return;
    // Each section is read from its own lines: two sections of one name are
    // two replacements, each with its own values.
    for (const TSlv2IniFile::Section& section : ini.Sections()) {
      TSlv2StrReplaceData data;
      data.IsRegExp = ParseIniBool(section.ReadString("IsRegExp"));
      data.ReplaceWith = ExpandMacros(section.ReadString("ReplaceWith"));
      data.SearchFor = ExpandMacros(section.ReadString("SearchFor"));
      data.Files = ExpandMacros(section.ReadString("Files"));
      data.IgnoreCase = ParseIniBool(section.ReadString("IgnoreCase"));
      list.emplace_back(section.Name, std::move(data));
    }
  };
  loadDeletions("Delete_Before.ini", FDeleteBeforeList);
  loadReplacements("StrReplace_Before.ini", FStrReplaceBeforeList);
  FUnpackStorageList.clear();
  if (LoadIniFromStorage("UnpackStorage.ini", ini)) {
    for (const TSlv2IniFile::Section& section : ini.Sections()) {
      TSlv2UnpackStorageData data;
      data.Destination = ExpandMacros(section.ReadString("Destination"));
      data.Storage = ExpandMacros(section.ReadString("Storage"));
      FUnpackStorageList.emplace_back(section.Name, std::move(data));
    }
  }
  loadDeletions("Delete_After.ini", FDeleteAfterList);
  loadReplacements("StrReplace_After.ini", FStrReplaceAfterList);
}

}  // namespace slv2
