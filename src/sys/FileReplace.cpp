#include "sys/FileReplace.h"

#include "sys/FileLayer.h"

namespace slv2::fs {

bool ReplaceFileContent(std::string_view from, std::string_view to, bool durably) {
  uint32_t attributes = GetFileAttributes(to);
  bool readOnly = attributes != kInvalidFileAttributes && !(attributes & kAttrDirectory) &&
                  (attributes & kAttrReadOnly);
  if (readOnly && !SetFileAttributes(to, attributes & ~kAttrReadOnly)) return false;
  bool replaced = durably ? ReplaceFile(from, to) : RenameOver(from, to);
  uint32_t error = LastError();
  if (readOnly && !replaced) SetFileAttributes(to, attributes);
  SetLastError(error);
  return replaced;
}

}  // namespace slv2::fs
