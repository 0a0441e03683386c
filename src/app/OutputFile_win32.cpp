#include "app/OutputFile.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"

namespace slv2 {

// Folders on the way are not checked on Windows: the file layer's checks
// of reparse points hold only below its anchored roots.
bool CheckOutputPath(const std::string&, std::string&) {
  return true;
}

bool IsStreamFile(const std::string& file) {
  return file == "NUL" || file == "CON";
}

bool WriteToStreamFile(const std::string& file, const std::string& text) {
  fs::FileHandle out = fs::FileHandle::Open(file, fs::kGenericWrite, 0, fs::kOpenExisting);
  return out.Valid() && out.Write(text.data(), text.size());
}

}  // namespace slv2
