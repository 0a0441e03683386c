// File and folder operations of the updater: path texts, existence tests,
// folder creation, copying (also over read-only files) and temporary files.
//
// No operation raises for a file-system failure: each reports it in its
// result (false, an empty string, an error code). Paths are program strings
// and accept "/" and "\" as delimiters. Paths built here use "\", except that
// a path in POSIX form (one leading "/") keeps "/" throughout, so that what
// the logs show stays a valid, readable Linux path.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace slv2 {

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
  // 0 on success, else the platform's error code.
  static uint32_t SetFileAttr(std::string_view path, uint32_t attributes);
  // Creates the folder and every missing folder above it, top down; stops at
  // the first level it cannot create (levels made before stay). A drive
  // root, or a Windows-form name shorter than 3 characters, counts as
  // present.
  static bool ForceDirectories(std::string_view folder);
  // Copies content and attributes. A missing destination gets its folders
  // created; an existing one loses read-only, hidden and system first, so
  // that it can be overwritten.
  static bool CopyFile(std::string_view source, std::string_view destination, bool failIfExists);

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

}  // namespace slv2
