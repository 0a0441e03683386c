// Long names in an update storage. An element name holds at most 31
// characters, so a file whose name (or whose name with ".diff") is longer, or
// that lies in a folder with such a name, travels under a short element name
// at the root of its part, and the stream "files/Names.ini" maps each short
// name to the file's path: one section per part ("product", "solvane"),
// "short=folder\long file name". Storages without the stream install every
// element under its own name.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "updater/Slv2IniFile.h"

namespace slv2 {

// The map's element, in the storage "files".
inline constexpr const char kNameMapElement[] = "Names.ini";

class TSlv2NameMap {
 public:
  // The section `part` of the map. An entry whose path could leave the
  // part's root (absolute, a drive, "." or "..", an empty name) or holds a
  // control character is refused: `refuse` gets its error line, and its
  // element is installed under no name at all.
  TSlv2NameMap(const TSlv2IniFile& ini, const std::string& part,
               const std::function<void(const std::string&)>& refuse);

  // The path relative to the part's root that the element installs,
  // "/" between names and with the element's ".diff" or ".patch" kept:
  // the mapped path, or the element's own name when the map has no entry
  // for it; "" for an element whose entry was refused.
  std::string PathOf(const std::string& element) const;

 private:
  std::map<std::string, std::string> FPaths;  // upper-cased short name -> path, "" when refused
};

}  // namespace slv2
