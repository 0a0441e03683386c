#include "log/LogCategory.h"
#include "storage/gmStrmUtil.h"
#include "sys/Cp1251.h"
#include "sys/Format.h"
#include "sys/registry/RegAnsi.h"
#include "sys/registry/RegistryUtil.h"
#include "updater/Slv2Cancel.h"
#include "updater/Slv2IniFile.h"
#include "updater/Slv2TempFile.h"
#include "updater/Slv2Updater.h"

namespace slv2 {

namespace {

// Registry scripts are read whole to expand their macros; no script of the
// family comes near this size, and a larger one is refused rather than let
// it take the memory.
constexpr int64_t kMaxScriptSize = 64 << 20;

}  // namespace

void TSlv2Updater::ProcessRegistry() {
  try {
    SLV2_ASSERT(FStorage, "Slv2Updater");
    TgmStorageRef registry;
    if (!(FStorage->ElementExists("registry") &&
          FStorage->CreateStorage("registry", stg::kStgmRead | stg::kStgmShareDenyWrite,
                                  &registry))) {
      Logger().Debug(Format("%s(): no registry scripts to process", "ProcessRegistry"));
      return;
    }
    TSlv2TempFile script;
    std::vector<std::string> names;
    registry->ListStreams(names);
    for (const std::string& name : names) {
      cancel::CheckPoint();
      // A script that cannot be extracted is reported like one that failed.
      if (registry->ExtractStreamToFile(name, script.Name()) && ProcessRegFile(script.Name())) {
        Logger().Debug(
            Format("%s(): registry script \"%s\" succeeded", "ProcessRegistry", name.c_str()));
      } else {
        Logger().Error(
            Format("%s(): registry script \"%s\" failed", "ProcessRegistry", name.c_str()));
      }
    }
    Logger().Debug(Format("%s(): processed %d registry scripts", "ProcessRegistry",
                          static_cast<int>(names.size())));
  } catch (const std::exception& e) {
    LogFailed("ProcessRegistry", e);
  }
}

bool TSlv2Updater::ProcessRegFile(const std::string& fileName) {
  try {
    std::string text;
    if (!ReadFileToString(fileName, text, 1, 0, kMaxScriptSize + 1)) {
      throw ESlvUpdater(Format("Error reading registry script \"%s\"", fileName.c_str()));
    }
    if (static_cast<int64_t>(text.size()) > kMaxScriptSize) {
      throw ESlvUpdater(Format("Registry script \"%s\" is larger than %d bytes", fileName.c_str(),
                               static_cast<int>(kMaxScriptSize)));
    }
    // A folder macro without its folder would write paths at the drive's
    // root into the registry.
    for (const auto& [name, folder] :
         {std::pair<const char*, const std::string*>{"SLV21_ROOT", &FSlv21Root},
          {"PRODUCT_ROOT", &FProductRoot}}) {
      if (folder->empty() && text.find(Format("${%s}", name)) != std::string::npos) {
        throw ESlvUpdater(Format("Registry script \"%s\" refers to ${%s}, which is unknown",
                                 fileName.c_str(), name));
      }
    }
    // A script in UTF-8 (what many editors write) gets the macro values in
    // UTF-8, and goes to the registry editor as UTF-16 with its byte-order
    // mark: the one Unicode form every registry editor reads.
    bool utf8 = text.starts_with(kUtf8Bom);
    if (utf8) text.erase(0, kUtf8Bom.size());
    std::vector<std::string> lines = SplitTextLines(text);
    bool any = false;
    for (std::string& line : lines) {
      bool found = false;
      line = ExpandMacros(line, &found, utf8);
      any = any || found;
    }
    if (any || utf8) {
      std::string expanded;
      for (const std::string& line : lines)
        expanded += line + "\r\n";
      if (utf8) expanded = "\xFF\xFE" + reg::StringDataFromUtf16(Utf8ToUtf16(expanded));
      if (!WriteStringToFile(fileName, expanded)) {
        throw ESlvUpdater(Format("Error writing registry script \"%s\"", fileName.c_str()));
      }
    }
    return ImportRegFile(fileName);
  } catch (const std::exception& e) {
    LogFailed("ProcessRegFile", e);
    return false;
  }
}

}  // namespace slv2
