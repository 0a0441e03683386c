#include "sys/FileReplace.h"

#include "sys/FileLayer.h"
#include "sys/WinError.h"

namespace slv2::fs {

namespace {

// `replace` run with the read-only attribute of `to` taken away, which it
// gets back when the replacement fails.
template <typename Replace>
bool WithoutReadOnly(std::string_view to, Replace replace) {
  uint32_t attributes = GetFileAttributes(to);
  bool readOnly = attributes != kInvalidFileAttributes && !(attributes & kAttrDirectory) &&
                  (attributes & kAttrReadOnly);
  if (readOnly && !SetFileAttributes(to, attributes & ~kAttrReadOnly)) return false;
  bool replaced = replace();
  uint32_t error = LastError();
  if (readOnly && !replaced) SetFileAttributes(to, attributes);
  SetLastError(error);
  return replaced;
}

}  // namespace

bool ReplaceFileContent(std::string_view from, std::string_view to) {
  return WithoutReadOnly(to, [&] { return ReplaceFile(from, to); });
}

bool PlaceNewFile(NewFile& file, std::string_view to) {
  // Most new files go where nothing is, and only a refused placing needs
  // the target's attributes.
  if (file.Place(to)) return true;
  if (LastError() != kErrorAccessDenied) return false;
  return WithoutReadOnly(to, [&] { return file.Place(to); });
}

}  // namespace slv2::fs
