// Windows twin of the platform file layer: the kernel32 "A" calls, which give
// case-insensitive names, read-only files and share modes natively.
#include <algorithm>
#include <vector>

#include "sys/Cp1251.h"
#include "sys/FaultInjection.h"
#include "sys/FileLayer.h"
#include "sys/FileLayerRoots.h"
#include "sys/FileOwner_win32.h"
#include "sys/TempNames.h"
#include "sys/WinError.h"
#include "sys/WindowsApi.h"

namespace slv2::fs {
namespace {

// A path for the "A" calls: NUL-terminated, either delimiter ("/" is accepted
// by the calls themselves, but "\" keeps UNC and device prefixes intact).
std::string Api(std::string_view path) {
  std::string out(path);
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

bool Fail(uint32_t code) {
  ::SetLastError(code);
  return false;
}

// An injected fault (tests only): reads and renames fail as an I/O error
// would, writes and creations as a full disk.
bool Injected(fault::Operation operation) {
  if (!fault::ShouldFail(operation)) return false;
  bool full = operation == fault::kWrite || operation == fault::kCreate;
  Fail(full ? kErrorDiskFull : kErrorIoDevice);
  return true;
}

bool Exists(const std::string& apiPath) {
  return ::GetFileAttributesA(apiPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

HANDLE H(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// A buffer-filling call of the "A" family (GetTempPathA and its kin), grown
// until the answer fits; "" on failure.
template <typename Call>
std::string Grown(Call call) {
  std::string buffer(MAX_PATH + 1, '\0');
  for (;;) {
    DWORD n = call(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n == 0) return std::string();
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(n + 1);
  }
}

// Below an anchored root: fails when a folder on the way is a reparse point
// (a junction or a symbolic link, which any user may plant) that is not the
// administrators' (owned by the Administrators group or SYSTEM: one an
// administrator made, as to move a product's data to another disk, is
// followed), or the path climbs above the root; `lastIsLink` tells whether
// the last component is one. Attributes of each folder are checked in turn
// from the root down.
bool CheckAnchored(std::string_view path, bool* lastIsLink, bool* anchored = nullptr) {
  *lastIsLink = false;
  if (anchored) *anchored = false;
  detail::Anchor anchor;
  if (!detail::FindAnchor(path, &anchor)) return true;
  if (anchored) *anchored = true;
  std::vector<std::string> below;
  for (const std::string& c : anchor.below) {
    if (c != "..") {
      below.push_back(c);
    } else if (below.empty()) {
      return Fail(kErrorBadPathname);
    } else {
      below.pop_back();
    }
  }
  std::string current = Api(anchor.root);
  for (size_t i = 0; i < below.size(); ++i) {
    if (current.empty() || current.back() != '\\') current += '\\';
    current += below[i];
    DWORD attributes = ::GetFileAttributesA(current.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      continue;
    }
    if (i + 1 == below.size()) {
      *lastIsLink = true;
    } else if (!win32::IsAdministrators(
                   win32::OwnerOf(win32::ReadSecurity(current, OWNER_SECURITY_INFORMATION)))) {
      return Fail(kErrorStoppedOnSymlink);
    }
  }
  return true;
}

// Whatever reads, writes or changes the entry itself: no link on the way
// and none at the end.
bool Reachable(std::string_view path) {
  bool link = false;
  if (!CheckAnchored(path, &link)) return false;
  return !link || Fail(kErrorStoppedOnSymlink);
}

// Removing or renaming over an entry: no link on the way; a link at the end
// is what is removed or replaced.
bool OnTheWay(std::string_view path) {
  bool link = false;
  return CheckAnchored(path, &link);
}

// Lets this process give a file an owner other than itself, as an
// administrator's token may once asked; without the privilege (not an
// administrator) the attempt changes nothing and the owner stays its own.
void EnableRestorePrivilege() {
  static const bool done = [] {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool found =
        ::LookupPrivilegeValueA(nullptr, "SeRestorePrivilege", &privileges.Privileges[0].Luid) != 0;
    found = found && ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    ::CloseHandle(token);
    return found;
  }();
  (void)done;
}

// The owner, group and access list of the file being replaced, given to its
// replacement before the rename, which would otherwise carry what the
// replacement was created with: a teacher's results file stays the
// teacher's, and an administrator's entries survive the update. Only an
// administrator may give a file away: another user's replacement stays
// theirs, with the old access list.
bool TakeSecurityOf(const std::string& target, const std::string& replacement) {
  constexpr SECURITY_INFORMATION kAll =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  std::string descriptor = win32::ReadSecurity(target, kAll);
  if (descriptor.empty()) return false;
  EnableRestorePrivilege();
  auto* sd = reinterpret_cast<PSECURITY_DESCRIPTOR>(descriptor.data());
  if (::SetFileSecurityA(replacement.c_str(), kAll, sd)) return true;
  return ::GetLastError() == ERROR_INVALID_OWNER &&
         ::SetFileSecurityA(replacement.c_str(),
                            GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, sd);
}

}  // namespace

namespace detail {
// Nothing of a root is kept open here.
void ForgetRoot(const std::string&) {}
}  // namespace detail

uint32_t LastError() {
  return ::GetLastError();
}
void SetLastError(uint32_t code) {
  ::SetLastError(code);
}

std::string NativePath(std::string_view path) {
  return OnTheWay(path) ? Api(path) : std::string();
}
std::string FromNativeName(std::string_view name) {
  return std::string(name);
}

uint32_t GetFileAttributes(std::string_view path) {
  if (!OnTheWay(path)) return kInvalidFileAttributes;
  return ::GetFileAttributesA(Api(path).c_str());
}

bool SetFileAttributes(std::string_view path, uint32_t attributes) {
  return Reachable(path) && ::SetFileAttributesA(Api(path).c_str(), attributes) != 0;
}

bool CreateDirectory(std::string_view path) {
  return OnTheWay(path) && !Injected(fault::kCreate) &&
         ::CreateDirectoryA(Api(path).c_str(), nullptr) != 0;
}

bool RemoveDirectory(std::string_view path) {
  return OnTheWay(path) && ::RemoveDirectoryA(Api(path).c_str()) != 0;
}

bool DeleteFile(std::string_view path) {
  return OnTheWay(path) && ::DeleteFileA(Api(path).c_str()) != 0;
}

bool MoveFile(std::string_view from, std::string_view to) {
  return OnTheWay(from) && OnTheWay(to) && !Injected(fault::kRename) &&
         ::MoveFileA(Api(from).c_str(), Api(to).c_str()) != 0;
}

bool ReplaceFile(std::string_view from, std::string_view to) {
  if (!Reachable(from) || !OnTheWay(to) || Injected(fault::kRename)) return false;
  std::string target = Api(to);
  // A read-only target or a folder refuses to be replaced, as it refuses
  // deletion; the rename itself would take either away.
  DWORD attributes = ::GetFileAttributesA(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    return Fail(kErrorAccessDenied);
  }
  std::string source = Api(from);
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
      !TakeSecurityOf(target, source)) {
    return false;
  }
  return ::MoveFileExA(source.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool CopyFile(std::string_view from, std::string_view to, bool failIfExists) {
  if (!Reachable(from) || !Reachable(to)) return false;
  std::string target = Api(to);
  if (Injected(Exists(target) ? fault::kWrite : fault::kCreate)) return false;
  return ::CopyFileA(Api(from).c_str(), target.c_str(), failIfExists) != 0;
}

// The renames are written through to the disk as they happen (ReplaceFile),
// so nothing of a folder is left to flush.
bool FlushFolders(const std::vector<std::string>&) {
  return true;
}

// Windows resolves each path in the kernel, checking its components on the
// way (CheckAnchored): nothing is held.
HeldFolder::HeldFolder(std::string_view) {}

HeldFolder::~HeldFolder() {
  Release();
}

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
  state_ = std::move(other.state_);
  return *this;
}

void HeldFolder::Release() {
  state_.reset();
}

// New files are temporary files beside their targets: Windows has no
// unnamed files.
NewFile& NewFile::operator=(NewFile&& other) noexcept {
  if (this != &other) {
    Discard();
    handle_ = std::move(other.handle_);
    temp_ = std::exchange(other.temp_, {});
  }
  return *this;
}

NewFile::~NewFile() {
  Discard();
}

void NewFile::Discard() {
  handle_.Close();
  if (!temp_.empty()) DeleteFile(temp_);
  temp_.clear();
}

NewFile NewFile::Create(std::string_view folder) {
  NewFile file;
  file.temp_ = GetTempFileName(folder.empty() ? std::string_view(".") : folder, kTempPrefix);
  if (file.temp_.empty()) return file;
  // Readable too: a writer may read back what it wrote (its version).
  file.handle_ = FileHandle::Open(file.temp_, kGenericRead | kGenericWrite, 0, kCreateAlways);
  if (!file.handle_.Valid()) {
    DWORD error = ::GetLastError();
    file.Discard();
    ::SetLastError(error);
  }
  return file;
}

bool NewFile::Place(std::string_view target) {
  // A placing that failed may be tried again: the file keeps its name.
  if (temp_.empty()) return false;
  handle_.Close();
  if (!ReplaceFile(temp_, target)) return false;
  temp_.clear();
  return true;
}

size_t NewFilesAtOnce() {
  return 1024;
}

bool FlushNewFiles(const std::vector<NewFile*>& files) {
  for (NewFile* file : files) {
    if (!file->handle_.Flush()) return false;
  }
  return true;
}

bool GetDiskFreeSpace(std::string_view path, uint64_t* available) {
  ULARGE_INTEGER bytes;
  if (!::GetDiskFreeSpaceExA(Api(path).c_str(), &bytes, nullptr, nullptr)) return false;
  *available = bytes.QuadPart;
  return true;
}

std::string GetTempPath() {
  return Grown([](DWORD size, char* buffer) { return ::GetTempPathA(size, buffer); });
}

std::string GetTempFileName(std::string_view folder, std::string_view prefix) {
  char name[MAX_PATH + 1] = {};
  if ((!folder.empty() && !Reachable(folder)) || Injected(fault::kCreate)) return std::string();
  std::string dir = Api(folder);
  if (dir.empty()) dir = ".";
  if (::GetTempFileNameA(dir.c_str(), std::string(prefix).c_str(), 0, name) == 0) {
    return std::string();
  }
  return name;
}

std::string GetFullPathName(std::string_view path) {
  std::string p = Api(path);
  std::string full = Grown([&p](DWORD size, char* buffer) {
    return ::GetFullPathNameA(p.c_str(), size, buffer, nullptr);
  });
  return full.empty() ? p : full;
}

std::string GetModuleFileName() {
  std::string buffer(MAX_PATH + 1, '\0');
  for (;;) {
    DWORD n = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

DirListing::DirListing(std::string_view mask) {
  std::string folder(mask.substr(0, mask.find_last_of("\\/") + 1));
  while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/'))
    folder.pop_back();
  if (!folder.empty() && !Reachable(folder)) {
    error_ = ::GetLastError();
    return;
  }
  WIN32_FIND_DATAA data;
  HANDLE find = ::FindFirstFileA(Api(mask).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    error_ = ::GetLastError();
    return;
  }
  do {
    FindData entry;
    entry.name = data.cFileName;
    entry.attributes = data.dwFileAttributes;
    entry.size = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                     ? 0
                     : (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    entries_.push_back(std::move(entry));
  } while (::FindNextFileA(find, &data));
  DWORD end = ::GetLastError();
  ::FindClose(find);
  if (end != ERROR_NO_MORE_FILES) {
    // The listing broke off: report why after the entries that came.
    error_ = end;
  }
  // NTFS lists "." and ".." first and then by upper-cased name; other file
  // systems (FAT, network shares) list in any order. One order everywhere
  // keeps runs repeatable.
  std::stable_sort(entries_.begin(), entries_.end(), [](const FindData& a, const FindData& b) {
    auto rank = [](const std::string& n) { return n == "." ? 0 : n == ".." ? 1 : 2; };
    if (rank(a.name) != rank(b.name)) return rank(a.name) < rank(b.name);
    return AnsiUpperCase(a.name) < AnsiUpperCase(b.name);
  });
}

bool DirListing::Next(FindData* entry) {
  if (next_ >= entries_.size()) {
    if (error_ == 0) error_ = kErrorNoMoreFiles;
    ::SetLastError(error_);
    return false;
  }
  *entry = entries_[next_++];
  return true;
}

FileHandle::~FileHandle() {
  Close();
}

FileHandle::FileHandle(FileHandle&& other) noexcept : fd_(other.fd_) {
  other.fd_ = -1;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void FileHandle::Close() {
  if (fd_ >= 0) ::CloseHandle(H(fd_));
  fd_ = -1;
}

FileHandle FileHandle::Open(std::string_view path, uint32_t access, uint32_t share,
                            uint32_t disposition) {
  bool anchored = false, link = false;
  if (!CheckAnchored(path, &link, &anchored)) return FileHandle();
  if (link) {
    Fail(kErrorStoppedOnSymlink);
    return FileHandle();
  }
  // Below an anchored root a link planted between the check and the opening
  // is opened as itself and refused.
  std::string name = Api(path);
  bool creates = disposition == kCreateNew ||
                 ((disposition == kCreateAlways || disposition == kOpenAlways) && !Exists(name));
  if (creates && Injected(fault::kCreate)) return FileHandle();
  DWORD flags = FILE_ATTRIBUTE_NORMAL | (anchored ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  HANDLE h = ::CreateFileA(name.c_str(), access, share, nullptr, disposition, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) return FileHandle();
  DWORD opened = ::GetLastError();  // ERROR_ALREADY_EXISTS tells callers something
  FileHandle handle(reinterpret_cast<intptr_t>(h));
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileType(h) != FILE_TYPE_DISK ||
      (anchored && ::GetFileInformationByHandle(h, &info) &&
       (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
    Fail(::GetFileType(h) != FILE_TYPE_DISK ? kErrorCantAccessFile : kErrorStoppedOnSymlink);
    return FileHandle();
  }
  ::SetLastError(opened);
  return handle;
}

bool FileHandle::Read(void* buffer, size_t count, size_t* done) {
  *done = 0;
  if (Injected(fault::kRead)) return false;
  auto* p = static_cast<char*>(buffer);
  while (*done < count) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - *done, 1u << 30));
    DWORD n = 0;
    if (!::ReadFile(H(fd_), p + *done, chunk, &n, nullptr)) return false;
    if (n == 0) break;
    *done += n;
  }
  return true;
}

bool FileHandle::Write(const void* buffer, size_t count) {
  if (Injected(fault::kWrite)) return false;
  auto* p = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < count) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
    DWORD n = 0;
    if (!::WriteFile(H(fd_), p + done, chunk, &n, nullptr)) return false;
    if (n == 0) return Fail(kErrorDiskFull);
    done += n;
  }
  return true;
}

bool FileHandle::Seek(int64_t offset, SeekOrigin origin, int64_t* position) {
  LARGE_INTEGER move, result;
  move.QuadPart = offset;
  DWORD method = origin == kSeekBegin     ? FILE_BEGIN
                 : origin == kSeekCurrent ? FILE_CURRENT
                                          : FILE_END;
  if (!::SetFilePointerEx(H(fd_), move, &result, method)) return false;
  if (position) *position = result.QuadPart;
  return true;
}

bool FileHandle::SetEndOfFile() {
  return !Injected(fault::kWrite) && ::SetEndOfFile(H(fd_)) != 0;
}

namespace {

// Positioned calls on a synchronous handle move its position; the caller of
// ReadAt and WriteAt keeps its own.
class KeepPosition {
 public:
  explicit KeepPosition(HANDLE h) : h_(h) {
    LARGE_INTEGER zero{};
    ok_ = ::SetFilePointerEx(h_, zero, &saved_, FILE_CURRENT) != 0;
  }
  ~KeepPosition() {
    if (!ok_) return;
    DWORD error = ::GetLastError();
    ::SetFilePointerEx(h_, saved_, nullptr, FILE_BEGIN);
    ::SetLastError(error);
  }
  KeepPosition(const KeepPosition&) = delete;
  KeepPosition& operator=(const KeepPosition&) = delete;
  bool Ok() const { return ok_; }

 private:
  HANDLE h_;
  LARGE_INTEGER saved_{};
  bool ok_;
};

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(offset);
  o.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return o;
}

}  // namespace

bool FileHandle::ReadAt(uint64_t offset, void* buffer, size_t count, size_t* done) {
  *done = 0;
  if (Injected(fault::kRead)) return false;
  KeepPosition keep(H(fd_));
  if (!keep.Ok()) return false;
  auto* p = static_cast<char*>(buffer);
  while (*done < count) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - *done, 1u << 30));
    OVERLAPPED o = At(offset + *done);
    DWORD n = 0;
    if (!::ReadFile(H(fd_), p + *done, chunk, &n, &o)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      return false;
    }
    if (n == 0) break;
    *done += n;
  }
  return true;
}

bool FileHandle::WriteAt(uint64_t offset, const void* buffer, size_t count) {
  if (Injected(fault::kWrite)) return false;
  KeepPosition keep(H(fd_));
  if (!keep.Ok()) return false;
  auto* p = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < count) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
    OVERLAPPED o = At(offset + done);
    DWORD n = 0;
    if (!::WriteFile(H(fd_), p + done, chunk, &n, &o)) return false;
    if (n == 0) return Fail(kErrorDiskFull);
    done += n;
  }
  return true;
}

bool FileHandle::Resize(uint64_t size) {
  if (Injected(fault::kWrite)) return false;
  KeepPosition keep(H(fd_));
  if (!keep.Ok()) return false;
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  return ::SetFilePointerEx(H(fd_), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(H(fd_));
}

int64_t FileHandle::Size() {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(H(fd_), &size)) return -1;
  return size.QuadPart;
}

bool FileHandle::Flush() {
  return !Injected(fault::kWrite) && ::FlushFileBuffers(H(fd_)) != 0;
}

void FileHandle::StartFlush() {}

}  // namespace slv2::fs
