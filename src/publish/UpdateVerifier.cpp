#include "publish/UpdateVerifier.h"

#include <memory>

#include "log/LogAppender.h"
#include "log/LogHierarchy.h"
#include "publish/PublishError.h"
#include "publish/ReleaseTree.h"
#include "publish/ScratchFolder.h"
#include "publish/ScratchRegistry.h"
#include "storage/FileUtil.h"
#include "storage/gmStorage.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"
#include "sys/registry/RegFunctions.h"
#include "updater/Slv2Updater.h"

namespace slv2::publish {
namespace {

constexpr const char kFamilyKey[] = "\\Software\\Zarvik\\Solvane 2.1";
constexpr const char kShellId[] = "main";
constexpr const char kUpdaterClass[] = "TSlv2VerifyUpdater";
constexpr uint32_t kReadMode = stg::kStgmRead | stg::kStgmShareDenyWrite;
constexpr uint32_t kCreateMode = stg::kStgmReadWrite | stg::kStgmShareExclusive | stg::kStgmCreate;

// The base updater as every product's runs it, without product-specific work.
class TVerifyUpdater : public TSlv2Updater {
 public:
  using TSlv2Updater::TSlv2Updater;
};

// Collects the error lines of the updater's log.
class TErrorLines : public TLogAppender {
 public:
  std::vector<std::string> lines;

 protected:
  void Write(const std::string& text) override {
    lines.push_back(text.substr(0, text.find_last_not_of("\r\n") + 1));
  }
};

class TAttachedAppender {
 public:
  TAttachedAppender(TLogCategory& category, std::shared_ptr<TLogAppender> appender)
      : category_(category), appender_(std::move(appender)) {
    category_.AddAppender(appender_);
  }
  ~TAttachedAppender() { category_.RemoveAppender(appender_); }
  TAttachedAppender(const TAttachedAppender&) = delete;
  TAttachedAppender& operator=(const TAttachedAppender&) = delete;

 private:
  TLogCategory& category_;
  std::shared_ptr<TLogAppender> appender_;
};

void CopyTree(const TFileTree& tree, const std::string& folder) {
  if (!TgmFileUtil::ForceDirectories(folder)) {
    throw EPublishError("Cannot create " + folder + ": " + SysErrorMessage(fs::LastError()));
  }
  for (const auto& [key, file] : tree) {
    std::string target = folder + "/" + file.path;
    if (!TgmFileUtil::CopyFile(file.fullPath, target, false)) {
      throw EPublishError("Cannot copy " + file.fullPath + " to " + target + ": " +
                          SysErrorMessage(fs::LastError()));
    }
  }
}

// A copy of the storage without its "registry" part.
void CopyWithoutRegistry(const std::string& from, const std::string& to) {
  TgmStorageRef source = TgmStorage::Create(from, kReadMode);
  TgmStorageRef target = TgmStorage::Create(to, kCreateMode);
  source->EnumElements([&](const stg::StatStg& element) {
    std::string name = Utf16ToAnsi(element.name);
    if (element.type == stg::kStgTyStream) {
      target->CreateStream(name, kCreateMode)->CopyFrom(*source->CreateStream(name, kReadMode), 0);
    } else if (element.type == stg::kStgTyStorage && !AnsiSameText(name, "registry")) {
      TgmStorageRef in, out;
      source->CreateStorage(name, kReadMode, &in);
      target->CreateStorage(name, kCreateMode, &out);
      if (!in->CopyTo(out.get())) throw EPublishError("Cannot copy " + name + " of " + from);
    }
    return false;
  });
}

bool HasRegistryScripts(const std::string& storageFile) {
  TgmStorageRef root = TgmStorage::Create(storageFile, kReadMode);
  TgmStorageRef registry;
  if (!root->ElementExists("registry") || !root->CreateStorage("registry", kReadMode, &registry)) {
    return false;
  }
  std::vector<std::string> scripts;
  registry->ListStreams(scripts);
  return !scripts.empty();
}

// Runs the storage as the product; the error lines of its log and an
// exception that ends the run go to `problems`.
void RunUpdater(const std::string& productId, const std::string& storageFile,
                std::vector<std::string>& problems) {
  TSlv2UpdaterClass type(kUpdaterClass, productId, productId, "", false,
                         MakeUpdater<TVerifyUpdater>);
  auto errors = std::make_shared<TErrorLines>();
  {
    TAttachedAppender attached(TLogHierarchy::Default().GetCategory(kUpdaterClass), errors);
    try {
      std::unique_ptr<TSlv2Updater> updater = type.Create();
      updater->SetStorageFileName(storageFile);
      updater->Execute();
    } catch (const std::exception& e) {
      errors->lines.push_back(std::string(ExceptionClassName(e)) + " (" + ExceptionMessage(e) +
                              ")");
    }
  }
  for (const std::string& line : errors->lines)
    problems.push_back("updater: " + line);
}

// Compares what the update left in `folder` with what it must hold.
void Compare(const std::string& part, const TFileTree& expected, const std::string& folder,
             TVerifyResult& result) {
  TFileTree actual = ReadFileTree(folder);
  for (const auto& [key, file] : expected) {
    auto found = actual.find(key);
    std::string name = part + "/" + file.path;
    if (found == actual.end()) {
      result.problems.push_back("missing: " + name);
    } else if (found->second.size != file.size ||
               !SameContent(found->second.fullPath, file.fullPath)) {
      result.problems.push_back("differs: " + name);
    } else {
      ++result.equalFiles;
    }
  }
  for (const auto& [key, file] : actual) {
    if (!expected.count(key)) result.problems.push_back("extra: " + part + "/" + file.path);
  }
}

}  // namespace

TVerifyResult VerifyUpdate(const std::string& oldDir, const std::string& newDir,
                           const std::string& storageFile, const TVerifyOptions& options) {
  const std::string& id = options.productId;
  if (id.empty() || id.find_first_of("\\/") != std::string::npos) {
    throw EPublishError("Not a product identifier: \"" + id + "\"");
  }
  TRelease oldRelease = ReadRelease(oldDir, options.followLinks),
           newRelease = ReadRelease(newDir, options.followLinks);
  bool shellProduct = AnsiSameText(id, kShellId);
  if (shellProduct &&
      !(oldRelease.parts[kShellPart].empty() && newRelease.parts[kShellPart].empty())) {
    throw EPublishError(
        "The shell's product folder is the shell folder: its releases hold "
        "product only");
  }
  TVerifyResult result;
  TScratchFolder scratch;
  std::string folders[2] = {scratch.Path() + "/product", scratch.Path() + "/solvane"};
  if (shellProduct) folders[kShellPart] = folders[kProductPart];
  for (int part : {kProductPart, kShellPart})
    CopyTree(oldRelease.parts[part], folders[part]);

  std::string storage = storageFile;
  if (HasRegistryScripts(storageFile) && !TScratchRegistry::ReachesChildProcesses()) {
    storage = scratch.Path() + "/update.stg";
    CopyWithoutRegistry(storageFile, storage);
    result.registryScriptsSkipped = true;
  }
  {
    TScratchRegistry registry(scratch.Path());
    RegWriteString(reg::kHkeyLocalMachine, std::string(kFamilyKey) + "\\" + kShellId, "root",
                   fs::GetFullPathName(folders[kShellPart]));
    RegWriteString(reg::kHkeyLocalMachine, std::string(kFamilyKey) + "\\" + id, "root",
                   fs::GetFullPathName(folders[kProductPart]));
    RunUpdater(id, storage, result.problems);
  }

  for (int part : {kProductPart, kShellPart}) {
    TFileTree expected = newRelease.parts[part];
    for (const auto& [key, file] : oldRelease.parts[part]) {
      std::string name = std::string(kPartNames[part]) + "/" + file.path;
      if (options.kept.count(FileKey(name))) {
        expected[key] = file;
        result.keptFiles.push_back(name);
      }
    }
    if (part == kShellPart && shellProduct) break;
    Compare(kPartNames[part], expected, folders[part], result);
  }
  return result;
}

}  // namespace slv2::publish
