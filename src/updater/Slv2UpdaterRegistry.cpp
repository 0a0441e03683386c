#include <utility>

#include "log/LogCategory.h"
#include "storage/gmStrmUtil.h"
#include "sys/Cp1251.h"
#include "sys/Exception.h"
#include "sys/FileLayer.h"
#include "sys/Format.h"
#include "sys/WinError.h"
#include "sys/registry/RegAnsi.h"
#include "sys/registry/RegScript.h"
#include "sys/registry/RegistryUtil.h"
#include "updater/Slv2Cancel.h"
#include "updater/Slv2Effects.h"
#include "updater/Slv2IniFile.h"
#include "updater/Slv2TempFile.h"
#include "updater/Slv2Updater.h"

namespace slv2 {

namespace {

// Registry scripts are read whole to expand their macros; no script of the
// family comes near this size, and a larger one is refused rather than let
// it take the memory.
constexpr int64_t kMaxScriptSize = 64 << 20;

std::string ProgramText(const std::u16string& text) {
  return Utf8ToAnsi(Utf16ToUtf8(text));
}

// A value's data as the script wrote it: text, a number, or a byte count.
std::string DataText(const reg::ScriptAction& action) {
  if (action.type == reg::kRegSz || action.type == reg::kRegExpandSz) {
    std::u16string text;
    for (size_t i = 0; i + 1 < action.data.size(); i += 2)
      text += static_cast<char16_t>(static_cast<uint8_t>(action.data[i]) |
                                    static_cast<uint8_t>(action.data[i + 1]) << 8);
    while (!text.empty() && text.back() == u'\0')
      text.pop_back();
    return "\"" + ProgramText(text) + "\"";
  }
  if (action.type == reg::kRegDword && action.data.size() == 4) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
      value = value << 8 | static_cast<uint8_t>(action.data[i]);
    return Format("dword:%08x", value);
  }
  return Format("hex(%u): %u bytes", action.type, static_cast<unsigned>(action.data.size()));
}

// What the expanded script sets, one line per key and value:
// "[HKEY_...\\key]", "[-HKEY_...\\key]", "name=data", "name=-".
std::vector<std::string> ScriptValues(const reg::RegScript& script) {
  std::vector<std::string> values;
  for (const reg::ScriptAction& action : script.actions) {
    std::string name = action.name.empty() ? "@" : "\"" + ProgramText(action.name) + "\"";
    std::string key = ProgramText(reg::RootName(action.root) + u"\\" + action.path);
    switch (action.kind) {
      case reg::ScriptAction::kOpenKey:
        values.push_back("[" + key + "]");
        break;
      case reg::ScriptAction::kDeleteKey:
        values.push_back("[-" + key + "]");
        break;
      case reg::ScriptAction::kSetValue:
        values.push_back(name + "=" + DataText(action));
        break;
      case reg::ScriptAction::kDeleteValue:
        values.push_back(name + "=-");
        break;
    }
  }
  return values;
}

// Why the script could not be written to the scratch file; "" when it was.
std::string ExtractScript(TgmStorage& registry, const std::string& name,
                          const TSlv2TempFile& script) {
  try {
    if (ExtractInto(registry, name, script)) return {};
    uint32_t error = fs::LastError();
    return error != kErrorSuccess ? SysErrorMessage(error) : "its compressed data is damaged";
  } catch (const std::exception& e) {
    return ExceptionMessage(e);
  }
}

// A product's scripts as one change of the registry (Slv2Effects.h), ended
// however the step ends: on a cancelled run the scripts imported so far
// stand, as each would on its own.
class TScriptGroup {
 public:
  TScriptGroup(TSlv2Effects& effects, bool any) : FEffects(any ? &effects : nullptr) {
    if (FEffects) FEffects->BeginScripts();
  }
  ~TScriptGroup() {
    if (FEffects) FEffects->EndScripts();
  }
  TScriptGroup(const TScriptGroup&) = delete;
  TScriptGroup& operator=(const TScriptGroup&) = delete;
  // False when the registry did not take the scripts.
  bool End() {
    TSlv2Effects* effects = std::exchange(FEffects, nullptr);
    return !effects || effects->EndScripts();
  }

 private:
  TSlv2Effects* FEffects;
};

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
    // One scratch file for every script in turn, written without waiting
    // for the disk: it lives only until its script is imported.
    TSlv2TempFile script;
    std::vector<std::string> names;
    registry->ListStreams(names);
    TScriptGroup group(Effects(), !names.empty());
    for (const std::string& name : names) {
      cancel::CheckPoint();
      if (std::string why = ExtractScript(*registry, name, script); !why.empty()) {
        // A script that cannot be extracted is reported like one that failed.
        TSlv2Outcome outcome(TSlv2OutcomeKind::Registry, name);
        outcome.failure = "the script was not extracted: " + why;
        Effects().Refused(
            "ProcessRegistry", std::move(outcome),
            Format("%s(): registry script \"%s\" failed", "ProcessRegistry", name.c_str()));
      } else if (ProcessRegFile(script.Name(), name)) {
        Logger().Debug(
            Format("%s(): registry script \"%s\" succeeded", "ProcessRegistry", name.c_str()));
      } else {
        Logger().Error(
            Format("%s(): registry script \"%s\" failed", "ProcessRegistry", name.c_str()));
      }
    }
    if (!group.End()) {
      Logger().Error(
          Format("%s(): the registry did not take the product's scripts", "ProcessRegistry"));
    }
    Logger().Debug(Format("%s(): processed %d registry scripts", "ProcessRegistry",
                          static_cast<int>(names.size())));
  } catch (const std::exception& e) {
    LogFailed("ProcessRegistry", e);
  }
}

bool TSlv2Updater::ProcessRegFile(const std::string& fileName, const std::string& target) {
  TSlv2Outcome outcome(TSlv2OutcomeKind::Registry, target.empty() ? fileName : target);
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
      text = std::move(expanded);  // what the file holds now
    }
    reg::RegScript script = reg::ParseRegScript(text);
    // Every registry editor refuses such a file; refusing it here lets the
    // dry run tell it as the run would.
    if (!script.hasHeader) {
      throw ESlvUpdater(
          Format("\"%s\" is not a registry script", (target.empty() ? fileName : target).c_str()));
    }
    outcome.values = ScriptValues(script);
    return Effects().ImportScript(fileName, std::move(outcome));
  } catch (const std::exception& e) {
    LogFailed("ProcessRegFile", e);
    outcome.failure = "the script was not imported";
    Effects().Record(std::move(outcome));
    return false;
  }
}

}  // namespace slv2
