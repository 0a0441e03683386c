// File and folder operations of the updater: path texts, existence tests,
// folder creation, copying (also over read-only files), listing by mask,
// tree walks and deletion, mask tests and temporary files.
//
// No operation raises for a file-system failure: each reports it in its
// result (false or an empty string). Paths are program strings and accept
// "/" and "\" as delimiters. Paths built here use "\", except that a path in
// POSIX form (one leading "/") keeps "/" throughout, so that what the logs
// show stays a valid, readable Linux path.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace slv2 {

// Receives the full name of a listed entry and the caller's user value;
// returns true to end the listing of the current folder.
using TEnumFilesCallback = std::function<bool(const std::string& fileName, uint32_t userValue)>;

class TgmFileUtil {
 public:
  TgmFileUtil() = delete;

  // The text with a trailing delimiter: unchanged when it ends in "/", ":" or
  // "\"; otherwise `delimiter` is appended ("/" instead of "\" for a POSIX
  // path). An empty text gives the delimiter alone.
  static std::string IncludeTrailingDelimiter(std::string_view text, char delimiter);
  // Removes every trailing "/", ":" and "\": C:\ gives C.
  static std::string ExcludeTrailingDelimiters(std::string_view text);
  // Everything up to and including the last "/" or "\"; empty without one.
  static std::string ExtractFilePath(std::string_view path);
  // The last component; without extension the text from its last "." on is
  // dropped, unless that dot is the component's first character (.cfg).
  static std::string ExtractFileName(std::string_view path, bool withExtension);
  // The last component's extension, with or without its dot; empty if none.
  static std::string ExtractFileExt(std::string_view path, bool withDot);
  // "." and ".." resolved, runs of delimiters merged, trailing ones dropped,
  // joined with "\": C:\a\.\b\..\c.txt gives C:\a\c.txt, C:\a\..\..\b gives
  // b, \a gives \\a (a leading delimiter becomes two). A POSIX path stays
  // POSIX: /opt/z/../b gives /opt/b, and ".." never climbs above "/".
  static std::string NormalizePath(std::string_view path);
  // NormalizePath(folder + delimiter + name): the name may hold sub-folders,
  // "..", or a leading delimiter.
  static std::string CombinePath(std::string_view folder, std::string_view name);
  // Both names normalised, made absolute and compared ignoring the case of
  // A to Z only.
  static bool SameFileName(std::string_view a, std::string_view b);

  static bool DirectoryExists(std::string_view path);
  // Creates the folder and every missing folder above it, top down; stops at
  // the first level it cannot create (levels made before stay). A drive
  // root, or a Windows-form name shorter than 3 characters, counts as
  // present.
  static bool ForceDirectories(std::string_view folder);
  // Copies content and attributes. A missing destination gets its folders
  // created; an existing one loses read-only, hidden and system first, so
  // that it can be overwritten.
  static bool CopyFile(std::string_view source, std::string_view destination, bool failIfExists);

  // Visits the entries of the mask's folder that match the mask's last part
  // and pass the attribute filter (see FilteredListing.h), then, when
  // recursive, the same mask in every sub-folder, depth first in listing
  // order (also after the callback ended a folder's listing). "." and ".."
  // are counted but never passed to the callback. Symbolic links to folders
  // are never descended into. Returns the number of entries listed;
  // exceptions of the callback pass through.
  static int EnumFiles(std::string_view maskPath, uint32_t attrFilter, uint32_t userValue,
                       const TEnumFilesCallback& callback, bool recursive);
  // Deletes the folder with everything below it, read-only files included,
  // as far as it can: false when any entry or the folder itself stayed. A
  // drive ("C:") is emptied but kept. A symbolic link, at the top or inside,
  // is removed as a link; what it points to is never touched.
  static bool DeleteTree(std::string_view folder);

  // The file-mask test: "*" and "*.*" match every name, an empty mask none;
  // a name without extension is tested with a "." appended (so README
  // matches "*."); unless case-sensitive, both are lower-cased first
  // (Windows-1251 letters included), then MatchWildcard decides.
  static bool MatchesMask(std::string_view name, std::string_view mask, bool caseSensitive);
  static bool MatchesAnyMask(std::string_view name, const std::vector<std::string>& masks,
                             bool caseSensitive);

  // The system temporary folder, with a trailing delimiter.
  static std::string GetTempFolder();
  // Creates a new empty file "<prefix><hex>.TMP" in the folder and returns
  // its full name, or "" on failure. Deleting it is the caller's duty.
  static std::string GetTempFileName(std::string_view folder, std::string_view prefix);
  // The same in GetTempFolder() with the prefix "tmp".
  static std::string GetTempFileName();
};

// True when the path names an existing file (not a folder).
bool FileExists(std::string_view path);

// How BuildFileList compares an entry's attributes with the asked ones.
enum class TAttrMatch {
  Any = 0,       // every listed entry
  Exact = 1,     // entry == attr
  Subset = 2,    // every bit of attr is set on the entry
  Superset = 3,  // the entry has no bit outside attr
};

struct TFileListOption {
  static constexpr uint32_t FullNames = 1;  // append folder + name, not the name alone
  static constexpr uint32_t Recursive = 2;  // also every sub-folder, breadth first
};

// Appends the entries matching the mask path to the list: first those of the
// mask's own folder, then those of each level of sub-folders in turn. The
// mask's folder ends at its last "\" or ":" ("/" too for a POSIX path, where
// "/" is the delimiter of the names built). Every entry that the mask matches
// is tested, folders and "." and ".." included; Exact and Superset list with
// attr as the attribute filter too. Symbolic links to folders are listed but
// not descended into. Always true.
bool BuildFileList(std::string_view maskPath, uint32_t attr, std::vector<std::string>& list,
                   TAttrMatch match, uint32_t options);

}  // namespace slv2
