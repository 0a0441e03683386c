// Slv2Updater: the common base of every product updater, the class
// reference that answers an updater type's questions without an instance,
// and the registry lookups that locate the family and its products.
//
// An updater is made by its class reference (TSlv2UpdaterClass::Create: the
// constructor, then the virtual Create), given its update storage with
// SetStorageFileName and run once with Execute: the five ini files are
// loaded, then BeforeExecute, the seven fixed steps of DoExecute and
// AfterExecute run. Every step catches and logs its own failures through
// Logger(); an exception that leaves Execute ends that product's run.
//
// Steps that act on the product folder (ProductRoot) or the shell folder
// (Slv21Root) skip their work with an error line when that folder is unknown,
// and nothing driven by the storage reaches outside those two folders.
//
// Every step decides and leaves the change to its effects (Slv2Effects.h),
// which make it, or in a dry run only note it, and record the outcome.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "log/LogCategory.h"
#include "storage/gmStorage.h"
#include "sys/Exception.h"
#include "sys/FileLayer.h"
#include "sys/registry/RegApi.h"
#include "updater/Slv2Effects.h"
#include "updater/Slv2Lists.h"
#include "updater/Slv2Outcome.h"

namespace slv2 {

class TPcreRegExp;
class TSlv2IniFile;
class TSlv2ReplaceBatch;
class TSlv2Updater;

SLV2_DECLARE_EXCEPTION(ESlvUpdater, Exception);

// What an updater type answers without an instance (its class reference),
// and its factory. The answers are fixed when the reference is made.
class TSlv2UpdaterClass {
 public:
  // Constructs an updater of the type; Create() runs the virtual Create on it.
  using Factory = std::unique_ptr<TSlv2Updater> (*)(const TSlv2UpdaterClass& type);

  // An empty storage name stands for the product identifier.
  TSlv2UpdaterClass(std::string className, std::string productId, std::string productName,
                    std::string storageName, bool isShellFinish, Factory factory);

  // The class name: also the name of the updaters' log category.
  const std::string& ClassName() const { return FClassName; }
  // The product's registry subkey and the value of ${PRODUCT_ID}.
  const std::string& GetProductId() const { return FProductId; }
  // The display name of the main window (program text).
  const std::string& GetProductName() const { return FProductName; }
  // The update storage's base name, without ".stg".
  const std::string& GetStorageName() const { return FStorageName; }
  // The shell's finishing updater (or a descendant): run, but not listed.
  bool IsShellFinish() const { return FIsShellFinish; }

  // A new updater of this type, fully created (roots, macros); registry
  // errors of the creation pass to the caller.
  std::unique_ptr<TSlv2Updater> Create() const;

 private:
  std::string FClassName;
  std::string FProductId;
  std::string FProductName;
  std::string FStorageName;
  bool FIsShellFinish;
  Factory FFactory;
};

// The usual factory: constructs T with its class reference and runs Create.
template <class T>
std::unique_ptr<TSlv2Updater> MakeUpdater(const TSlv2UpdaterClass& type);

// Where the family and its products are installed, from the registry: the
// machine-wide 2.1 key first, the per-user key only when that is missing.
// Missing keys and values give false or an empty folder; a "root" value of
// another kind than text raises ERegistryError.
class TSlv2Helper {
 public:
  TSlv2Helper() = delete;

  static bool IsFamilyInstalled();
  static bool FindFamilyKey(reg::HKey& root, std::string& key);
  static bool FindProductKey(std::string_view productId, reg::HKey& root, std::string& key);
  static bool IsProductInstalled(std::string_view productId);
  // The "root" value of the family's "main" subkey.
  static std::string GetSlv21Root();
  // The product's "root" value combined with the shell folder (a full path,
  // as the shell's own key holds, is taken as it is); empty when either is
  // unknown.
  static std::string GetProductRoot(std::string_view productId);
};

class TSlv2Updater {
 public:
  explicit TSlv2Updater(const TSlv2UpdaterClass& type);
  virtual ~TSlv2Updater();
  TSlv2Updater(const TSlv2Updater&) = delete;
  TSlv2Updater& operator=(const TSlv2Updater&) = delete;

  // Finds the shell and product folders in the registry. Subclasses that
  // override it call the base first and add their custom macros after it.
  virtual void Create();
  // Product-specific work after and before the fixed steps; nothing here.
  virtual void AfterExecute() {}
  virtual void BeforeExecute() {}
  // The seven fixed steps; catches nothing itself.
  void DoExecute();
  const TSlv2UpdaterClass& UpdaterClass() const { return FClass; }
  const std::string& GetProductId() const { return FClass.GetProductId(); }
  const std::string& GetProductName() const { return FClass.GetProductName(); }
  const std::string& GetStorageName() const { return FClass.GetStorageName(); }
  // Loads the ini files, then BeforeExecute, DoExecute, AfterExecute. Raises
  // an assertion failure when no storage is open.
  void Execute();
  // The run as the main window judges it: Execute, then ESlvUpdater when the
  // run did not do all it should although no step raised: the product
  // folder is unknown (its steps were skipped), steps logged error lines (a
  // read, write or system error; the message counts them and quotes the
  // first), or a change was recorded as not made. Warnings never fail it.
  void Update();

  // What makes the steps' changes and records them: the machine's own
  // effects unless others are given (a dry run's recording ones).
  void UseEffects(std::unique_ptr<TSlv2Effects> effects) { FEffects = std::move(effects); }
  TSlv2Effects& Effects() { return *FEffects; }
  // What the steps did or, in a dry run, would do, in the order done.
  std::vector<TSlv2Outcome> Outcomes() const { return FEffects->Outcomes(); }
  // The error lines of the last Update's log, in order.
  const std::vector<std::string>& ErrorLines() const { return FErrorLines; }
  // A condition that leaves nothing undone (nothing to move, a folder where
  // a mask looks for files, a step this platform has no means for): logged
  // at WARN and listed in the run's report, never a failure.
  void Warning(const std::string& line);
  const std::vector<std::string>& Warnings() const { return FWarnings; }

  // Opens the update storage (read, other writers denied) unless the name is
  // the current one; an empty name only closes it. Opening errors pass.
  void SetStorageFileName(const std::string& fileName);
  const std::string& StorageFileName() const { return FStorageFileName; }
  TgmStorage* Storage() const { return FStorage.get(); }
  // Empty when unknown; a value that is not a full path counts as unknown.
  const std::string& ProductRoot() const { return FProductRoot; }
  // Why the product folder is unknown; empty when it is known.
  const std::string& ProductFolderProblem() const { return FProductFolderProblem; }
  const std::string& Slv21Root() const { return FSlv21Root; }

  // The category named by the class name, found on first use.
  TLogCategory& Logger();
  // The error line of a step that caught an exception:
  // "<operation>() failed: <class name> (<message>)", with the system's
  // reason on a line of its own when the exception carries one.
  void LogFailed(const char* operation, const std::exception& error);

  // Custom macros: case-sensitive names; adding an existing name replaces
  // its value.
  void AddMacro(const std::string& name, const std::string& value);
  bool FindMacro(const std::string& name, std::string& value) const;
  // Every ${NAME} replaced by ResolveMacro's value, left to right; values are
  // not searched again. `found` tells whether any reference was seen. In a
  // UTF-8 text (`utf8`) the values go in as UTF-8.
  std::string ExpandMacros(std::string_view text, bool* found = nullptr, bool utf8 = false);
  // The built-in or custom value (else the reference itself), with pairs of
  // backslashes reduced to one and then every backslash doubled.
  std::string ResolveMacro(std::string_view name) const;

  // The ini lists, as loaded by the last Execute.
  const std::vector<std::string>& DeleteBeforeList() const { return FDeleteBeforeList; }
  const std::vector<std::string>& DeleteAfterList() const { return FDeleteAfterList; }
  const TSlv2StrReplaceList& StrReplaceBeforeList() const { return FStrReplaceBeforeList; }
  const TSlv2StrReplaceList& StrReplaceAfterList() const { return FStrReplaceAfterList; }
  const TSlv2UnpackStorageList& UnpackStorageList() const { return FUnpackStorageList; }

  // Ini-driven steps.
  void LoadIniFiles();
  // The element read whole (decompressed, checksum verified, bounded in
  // size) into `ini`; false, with `ini` empty, when it is missing, damaged,
  // too large or empty. `storage`: the one holding the element, if not the
  // update storage's root.
  bool LoadIniFromStorage(const std::string& elementName, TSlv2IniFile& ini,
                          TgmStorage* storage = nullptr);
  void ProcessDelete(const std::vector<std::string>& list, const std::string& name);
  void ProcessStrReplace(TSlv2StrReplaceList& list);
  void ReplaceInFile(TSlv2StrReplaceData& record, const std::string& fileName);
  void UnpackStorage(const TSlv2UnpackStorageData& record);

  // Storage-driven steps.
  void ProcessFiles();
  void ProcessFilesIn(TgmStorage& parent, const std::string& name, const std::string& root);
  // `path`: where below the root the element installs, when not under its
  // own name (a long name from the storage's name map). Within
  // ProcessFilesIn only: the file goes into its batch.
  void ProcessFile(TgmStorage& storage, const std::string& elementName, const std::string& root,
                   const std::string& path = {});
  void ProcessPatch(TgmStorage& storage, const std::string& elementName, const std::string& target);
  void ProcessDiff(TgmStorage& storage, const std::string& elementName, const std::string& target);
  void ProcessRegistry();
  // Expands the macros of a registry script in place and imports it; true
  // when the import succeeded. Its outcome names `target` (the file when
  // empty) and lists the keys and values the script sets.
  bool ProcessRegFile(const std::string& fileName, const std::string& target = {});

 private:
  // The text of a macro reference, before the backslash rule.
  std::string MacroValue(std::string_view name) const;
  // True when the target may be acted on: strictly inside the product
  // folder or the shell folder (or, with allowRoot, one of them itself).
  bool InsideFolders(std::string_view target, bool allowRoot) const;
  // Deletes the file or folder tree `normal` (`path` as the ini names it).
  void Delete(const char* op, const std::string& path, const std::string& normal, bool folder);
  // Extracts every stream of the compound file below the destination and
  // deletes the file once all of them came out. A file that does not open is
  // logged; one that opens but does not come out whole raises and stays.
  void UnpackStorageFile(const std::string& file, const std::string& destination);

  const TSlv2UpdaterClass& FClass;
  std::unordered_map<std::string, std::string> FMacros;
  TLogCategory* FLogger = nullptr;
  std::string FProductRoot;
  std::string FProductFolderProblem;
  std::string FStorageFileName;
  std::string FSlv21Root;
  // No link below the two folders is followed while the updater lives.
  std::vector<std::unique_ptr<fs::AnchoredRoot>> FAnchors;
  TgmStorageRef FStorage;
  std::vector<std::string> FDeleteBeforeList;
  std::vector<std::string> FDeleteAfterList;
  TSlv2StrReplaceList FStrReplaceBeforeList;
  TSlv2StrReplaceList FStrReplaceAfterList;
  TSlv2UnpackStorageList FUnpackStorageList;
  std::unique_ptr<TPcreRegExp> FMacroPattern;
  // The replacements of the "files" part being processed, if any.
  TSlv2ReplaceBatch* FBatch = nullptr;
  std::unique_ptr<TSlv2Effects> FEffects;
  std::vector<std::string> FErrorLines;
  std::vector<std::string> FWarnings;
};

template <class T>
std::unique_ptr<TSlv2Updater> MakeUpdater(const TSlv2UpdaterClass& type) {
  std::unique_ptr<TSlv2Updater> updater = std::make_unique<T>(type);
  updater->Create();
  return updater;
}

}  // namespace slv2
