#include "updater/Slv2Updater.h"

#include "log/LogErrorTally.h"
#include "log/LogHierarchy.h"
#include "sys/Cp1251.h"
#include "sys/Format.h"
#include "sys/PcreRegExp.h"
#include "sys/RegExReplace.h"
#include "sys/StrUtil.h"
#include "updater/Slv2Cancel.h"
#include "updater/Slv2IniFile.h"
#include "updater/Slv2Paths.h"
#include "updater/Slv2Reason.h"

namespace slv2 {

namespace {

// The macro reference: "${", a name without "}", "}".
constexpr const char* kMacroPattern = "\\$\\{([^}]+)\\}";
constexpr size_t kMacroBuckets = 31;

// A log message as one protocol line: without the indentation of a detail
// line, and with a reason on a line of its own after a colon.
std::string OneLine(std::string_view message) {
  while (!message.empty() && message.front() == ' ')
    message.remove_prefix(1);
  std::string line;
  for (size_t i = 0; i < message.size(); ++i) {
    if (message[i] != '\r' && message[i] != '\n') {
      line += message[i];
      continue;
    }
    while (i + 1 < message.size() && static_cast<unsigned char>(message[i + 1]) <= ' ')
      ++i;
    line += ": ";
  }
  return line;
}

std::string ErrorsText(const TLogErrorTally& errors) {
  int count = errors.Count();
  std::string first = OneLine(errors.First());
  return count == 1 ? Format("1 error in the detailed log: %s", first.c_str())
                    : Format("%d errors in the detailed log, the first: %s", count, first.c_str());
}

}  // namespace

TSlv2UpdaterClass::TSlv2UpdaterClass(std::string className, std::string productId,
                                     std::string productName, std::string storageName,
                                     bool isShellFinish, Factory factory)
    : FClassName(std::move(className)),
      FProductId(std::move(productId)),
      FProductName(std::move(productName)),
      FStorageName(storageName.empty() ? FProductId : std::move(storageName)),
      FIsShellFinish(isShellFinish),
      FFactory(factory) {}

std::unique_ptr<TSlv2Updater> TSlv2UpdaterClass::Create() const {
  return FFactory(*this);
}

TSlv2Updater::TSlv2Updater(const TSlv2UpdaterClass& type)
    : FClass(type), FEffects(MakeExecutingEffects(Logger())) {
  FMacros.reserve(kMacroBuckets);
}

TSlv2Updater::~TSlv2Updater() = default;

void TSlv2Updater::Create() {
  FSlv21Root = TSlv2Helper::GetSlv21Root();
  FProductRoot = TSlv2Helper::GetProductRoot(GetProductId());
  // The steps join storage-named paths to the folder: one that is not a full
  // path would put them below whatever the current folder happens to be.
  FProductFolderProblem.clear();
  if (FProductRoot.empty()) {
    FProductFolderProblem = "The product folder is unknown";
  } else if (!IsAbsolutePath(FProductRoot)) {
    FProductFolderProblem =
        Format("The product folder \"%s\" is not a full path", FProductRoot.c_str());
    FProductRoot.clear();
  }
  FAnchors.clear();
  for (const std::string* root : {&FSlv21Root, &FProductRoot}) {
    if (!root->empty()) FAnchors.push_back(std::make_unique<fs::AnchoredRoot>(*root));
  }
  FMacros.clear();
  FMacroPattern = std::make_unique<TPcreRegExp>(kMacroPattern);
  FDeleteBeforeList.clear();
  FDeleteAfterList.clear();
  FStrReplaceBeforeList.clear();
  FStrReplaceAfterList.clear();
  FUnpackStorageList.clear();
}

void TSlv2Updater::SetStorageFileName(const std::string& fileName) {
  if (fileName == FStorageFileName) return;
  FStorageFileName = fileName;
  FStorage.reset();
  if (!fileName.empty()) {
    FStorage = TgmStorage::Create(fileName, stg::kStgmRead | stg::kStgmShareDenyWrite);
  }
}

TLogCategory& TSlv2Updater::Logger() {
  if (!FLogger) FLogger = &TLogHierarchy::Default().GetCategory(FClass.ClassName());
  return *FLogger;
}

void TSlv2Updater::LogFailed(const char* operation, const std::exception& error) {
  Logger().Error(FailedLine(operation, error));
}

void TSlv2Updater::Execute() {
  cancel::CheckPoint();
  LoadIniFiles();
  BeforeExecute();
  DoExecute();
  cancel::CheckPoint();
  AfterExecute();
}

void TSlv2Updater::Update() {
  TLogErrorTally errors(Logger());
  struct TKeepLines {
    TSlv2Updater& updater;
    TLogErrorTally& errors;
    ~TKeepLines() { updater.FErrorLines = errors.Messages(); }
  } keep{*this, errors};
  FEffects->Clear();
  FWarnings.clear();
  Execute();
  if (!FProductFolderProblem.empty()) {
    throw ESlvUpdater(errors.Count() == 0 ? FProductFolderProblem
                                          : FProductFolderProblem + "; " + ErrorsText(errors));
  }
  if (errors.Count() > 0) throw ESlvUpdater(ErrorsText(errors));
  // A change not made fails the product even where no line said so.
  for (const TSlv2Outcome& outcome : FEffects->Outcomes()) {
    if (!outcome.failure.empty()) {
      throw ESlvUpdater(Format("%s \"%s\" not done: %s", OutcomeKindName(outcome.kind),
                               outcome.target.c_str(), outcome.failure.c_str()));
    }
  }
}

void TSlv2Updater::Warning(const std::string& line) {
  Logger().Warn(line);
  FWarnings.push_back(line);
}

void TSlv2Updater::DoExecute() {
  // A request to end the run is taken up between steps, and within them
  // between elements, entries and scripts.
  cancel::CheckPoint();
  ProcessDelete(FDeleteBeforeList, "Delete_Before");
  cancel::CheckPoint();
  ProcessStrReplace(FStrReplaceBeforeList);
  for (const auto& [section, record] : FUnpackStorageList) {
    cancel::CheckPoint();
    UnpackStorage(record);
  }
  cancel::CheckPoint();
  ProcessFiles();
  cancel::CheckPoint();
  ProcessRegistry();
  cancel::CheckPoint();
  ProcessDelete(FDeleteAfterList, "Delete_After");
  cancel::CheckPoint();
  ProcessStrReplace(FStrReplaceAfterList);
}

void TSlv2Updater::AddMacro(const std::string& name, const std::string& value) {
  FMacros[name] = value;
}

bool TSlv2Updater::FindMacro(const std::string& name, std::string& value) const {
  auto it = FMacros.find(name);
  if (it == FMacros.end()) return false;
  value = it->second;
  return true;
}

std::string TSlv2Updater::MacroValue(std::string_view name) const {
  if (name == "SLV21_ROOT") return FSlv21Root;
  if (name == "PRODUCT_ROOT") return FProductRoot;
  if (name == "PRODUCT_ID") return GetProductId();
  std::string value;
  if (FindMacro(std::string(name), value)) return value;
  return "${" + std::string(name) + "}";
}

std::string TSlv2Updater::ResolveMacro(std::string_view name) const {
  // Values go into registry strings and ini texts that want doubled
  // backslashes; a value written with doubled ones already stays as it is.
  std::string value = ReplaceAll(MacroValue(name), "\\\\", "\\", false);
  return ReplaceAll(value, "\\", "\\\\", false);
}

std::string TSlv2Updater::ExpandMacros(std::string_view text, bool* found, bool utf8) {
  if (!FMacroPattern) FMacroPattern = std::make_unique<TPcreRegExp>(kMacroPattern);
  bool matched = false;
  int count = 0;
  std::string result =
      RegExReplaceAllCallback(text, *FMacroPattern, matched, count,
                              [this, utf8](TPcreRegExp& regExp, std::string& replacement) {
                                replacement = ResolveMacro(regExp.SubString(1));
                                if (utf8) replacement = AnsiToUtf8(replacement);
                              });
  if (found) *found = matched;
  return result;
}

bool TSlv2Updater::InsideFolders(std::string_view target, bool allowRoot) const {
  auto within = [&](const std::string& folder) { return PathWithin(folder, target, true); };
  auto same = [&](const std::string& folder) {
    return within(folder) && !PathWithin(folder, target, false);
  };
  if (!within(FProductRoot) && !within(FSlv21Root)) return false;
  // Neither folder itself may go: a product placed inside the shell folder
  // is not an entry of the shell's to delete.
  return allowRoot || (!same(FProductRoot) && !same(FSlv21Root));
}

}  // namespace slv2
