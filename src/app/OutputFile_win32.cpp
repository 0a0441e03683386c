#include <algorithm>
#include <vector>

#include "app/OutputFile.h"
#include "storage/FileUtil.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/FileOwner_win32.h"
#include "sys/WinError.h"

namespace slv2 {

// The folders on the way, each held open without sharing its deletion, so
// that none of them can be renamed or swapped for a link while the object
// lives; the folder of the file anchored, so that a reparse point put in
// the file's place is not followed.
struct TOutputFile::Held {
  explicit Held(const std::string& folder) : anchor(folder) {}
  ~Held() {
    for (HANDLE folder : folders)
      ::CloseHandle(folder);
  }
  std::vector<HANDLE> folders;
  fs::AnchoredRoot anchor;
};

TOutputFile::TOutputFile(const std::string& file)
    : path_(file), stream_(file == "NUL" || file == "CON") {
  if (stream_) return;
  auto held = std::make_unique<Held>(TgmFileUtil::ExtractFilePath(file));
  // From a drive's root down; a network path is the server's to guard.
  bool drive = file.size() >= 3 && file[1] == ':' && (file[2] == '\\' || file[2] == '/');
  std::string current = drive ? file.substr(0, 2) + "\\" : std::string();
  for (size_t i = 3; drive && i < file.size();) {
    size_t end = std::min(file.find_first_of("\\/", i), file.size());
    std::string name = file.substr(i, end - i);
    i = end + 1;
    if (name.empty() || name == ".") continue;
    std::string next = current + name;
    HANDLE object = ::CreateFileA(
        next.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (object == INVALID_HANDLE_VALUE) break;  // made later, or the open tells
    BY_HANDLE_FILE_INFORMATION info;
    bool link = ::GetFileInformationByHandle(object, &info) &&
                (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (link && fs::win32::OthersMayWrite(current)) {
      ::CloseHandle(object);
      refusal_ = "a link on the way to " + AnsiToUtf8(file) +
                 " lies in a folder others may write: " + AnsiToUtf8(next);
      return;
    }
    if (i >= file.size()) {
      ::CloseHandle(object);  // the file itself: replaced, never held
      break;
    }
    held->folders.push_back(object);
    current = next + "\\";
  }
  held_ = std::move(held);
}

TOutputFile::~TOutputFile() = default;

fs::FileHandle TOutputFile::OpenStream() const {
  return fs::FileHandle::Open(path_, fs::kGenericWrite, 0, fs::kOpenExisting);
}

}  // namespace slv2
