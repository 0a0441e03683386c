// Registry scripts (.reg files) as the registry editor reads them: the 8-bit
// "REGEDIT4" format (Windows-1251 text) and the "Windows Registry Editor
// Version 5.00" format (UTF-16LE with a byte-order mark). The parser turns a
// script into the changes it asks for; ApplyRegScript makes them in one
// transaction.
//
// A script holds "[KEY]" lines (a root's name or short form and a path below
// it; "[-KEY]" deletes the tree), value lines below a key ("name" or @ for the
// default value, "=", then "text", dword:XXXXXXXX, hex:..., hex(N):... with
// comma-separated bytes continued by a "\" at the end of a line, or - to
// delete the value), ";" comments and blank lines. A line that is not valid is
// skipped with a warning, and the rest of the script still counts.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sys/registry/RegApi.h"

namespace slv2::reg {

struct ScriptWarning {
  size_t line;          // counted from 1
  std::string message;  // ASCII
};

struct ScriptAction {
  enum Kind { kOpenKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind = kOpenKey;
  size_t line = 0;
  // kOpenKey, kDeleteKey: the key. The values that follow an kOpenKey belong
  // to its key.
  HKey root = 0;
  std::u16string path;
  // kSetValue, kDeleteValue: the value, its kind and its data as the registry
  // keeps it (string kinds as UTF-16LE).
  std::u16string name;
  uint32_t type = kRegNone;
  std::string data;
};

struct RegScript {
  bool hasHeader = false;  // false: not a registry script, nothing to do
  std::vector<ScriptAction> actions;
  std::vector<ScriptWarning> warnings;
};

RegScript ParseRegScript(std::string_view fileBytes);

// A script's text as its first bytes tell it: UTF-16LE or UTF-8 after their
// byte-order mark (*markSize bytes), otherwise Windows-1251.
enum class ScriptEncoding { kAnsi, kUtf16, kUtf8 };
ScriptEncoding DetectScriptEncoding(std::string_view firstBytes, size_t* markSize);
std::u16string DecodeScriptText(std::string_view bytes, ScriptEncoding encoding);

// A script read piece by piece, so that its size never has to fit in memory:
// `text` replaces its argument with the next piece of decoded text (each
// ending at a line's end, the last one perhaps not) and returns false at the
// end; each action goes to `actions` as soon as its lines are read. False,
// with nothing given to `actions`, when the first line is not a header.
using ScriptText = std::function<bool(std::u16string&)>;
using ScriptActions = std::function<void(const ScriptAction&)>;
bool ParseRegScriptText(const ScriptText& text, const ScriptActions& actions,
                        std::vector<ScriptWarning>* warnings);

// Makes a script's changes one action after another, inside the caller's
// transaction; the changes the registry refuses (a key under a root it does
// not hold, for one) add warnings and are left out, as the registry editor
// leaves them out.
class ScriptApplier {
 public:
  explicit ScriptApplier(std::vector<ScriptWarning>& warnings) : warnings_(warnings) {}
  void Apply(const ScriptAction& action);

 private:
  std::vector<ScriptWarning>& warnings_;
  ScopedKey current_;  // the key of the last key line, where its values go
};

// Makes the script's changes in one transaction, as ScriptApplier does.
// kErrorSuccess, or the error that kept the transaction from starting or
// committing (then nothing changed).
uint32_t ApplyRegScript(const RegScript& script, std::vector<ScriptWarning>* warnings);

// A root's name or short form, in any case ("HKEY_LOCAL_MACHINE", "HKLM",
// "hkey_users", "HKU"); false for anything else.
bool ParseRootName(std::u16string_view name, HKey* root);
// The full name of a predefined root.
std::u16string RootName(HKey root);

}  // namespace slv2::reg
