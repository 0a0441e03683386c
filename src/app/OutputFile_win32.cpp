#include "app/OutputFile.h"
#include "storage/FileUtil.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"

namespace slv2 {

// The folder is anchored, so that a reparse point put in the file's place
// is not followed; the folders on the way are not checked.
struct TOutputFile::Held {
  explicit Held(const std::string& folder) : anchor(folder) {}
  fs::AnchoredRoot anchor;
};

TOutputFile::TOutputFile(const std::string& file)
    : path_(file), stream_(file == "NUL" || file == "CON") {
  if (!stream_) held_ = std::make_unique<Held>(TgmFileUtil::ExtractFilePath(file));
}

TOutputFile::~TOutputFile() = default;

fs::FileHandle TOutputFile::OpenStream() const {
  return fs::FileHandle::Open(path_, fs::kGenericWrite, 0, fs::kOpenExisting);
}

}  // namespace slv2
