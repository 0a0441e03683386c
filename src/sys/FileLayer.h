// The platform file layer: the few file-system services the logic above needs,
// with Windows semantics on every platform. Paths are program strings
// (Windows-1251) and accept both "\" and "/".
//
// On Linux (FileLayer_posix.cpp) the layer also gives the logic what Windows
// gives for free: a path component that does not exist with its exact case is
// found case-insensitively; read-only files (no owner write permission) refuse
// deletion, overwriting and renaming onto them; share modes are enforced
// between processes with open-file-description locks; listings match masks
// case-insensitively with the Windows wildcard rules and list "." and ".." in
// every folder but the root.
//
// Below an anchored root (AnchoredRoot) no symbolic link is followed: see
// there.
//
// Failures are reported by the result (false, an invalid handle, an empty
// string); the calling thread's LastError() then holds a Windows error code
// (sys/WinError.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace slv2::fs {

enum : uint32_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrVolumeId = 0x08,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrAnyFile = 0x3F,
  kAttrNormal = 0x80,
  // A symbolic link (Windows: a reparse point). Listed with the directory bit
  // when it points to a folder; tree walks never descend through it.
  kAttrReparsePoint = 0x400,
};
constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFF;

uint32_t LastError();
void SetLastError(uint32_t code);

// Anchors the folder tree below `root` for the object's life: every path
// below it (and below every other anchored root) is reached component by
// component from the root, and no symbolic link, junction or other reparse
// point below the root is followed. A folder on the way that is a link fails
// the call with kErrorStoppedOnSymlink, and so does a link as the last
// component of anything that reads or writes content, changes attributes or
// lists; deleting such a link removes the link, renaming over it replaces
// the link. Climbing above the root with ".." fails with kErrorBadPathname.
// Only regular files are opened (a FIFO, device or socket fails with
// kErrorCantAccessFile, never blocking). The root itself may be a link (an
// administrator may keep a product on another volume). Registering the same
// root again is counted; the anchor ends with its last registration.
class AnchoredRoot {
 public:
  explicit AnchoredRoot(std::string_view root);
  ~AnchoredRoot();
  AnchoredRoot(const AnchoredRoot&) = delete;
  AnchoredRoot& operator=(const AnchoredRoot&) = delete;

 private:
  std::string root_;
};

// The path in the platform's own form (UTF-8, "/" and case-resolved on
// Linux); below an anchored root the location the layer reaches, or "" when
// it refuses the path (LastError() tells why).
std::string NativePath(std::string_view path);
// Inverse for names that come from the platform (UTF-8 to program text).
std::string FromNativeName(std::string_view name);

uint32_t GetFileAttributes(std::string_view path);
// kAttrNormal, or any set without kAttrReadOnly, gives the owner write access
// back; kAttrReadOnly takes every write permission away.
bool SetFileAttributes(std::string_view path, uint32_t attributes);
bool CreateDirectory(std::string_view path);
// Removes an empty folder, or a symbolic link to a folder (never its target).
bool RemoveDirectory(std::string_view path);
// Removes a file or a symbolic link; fails on a read-only file.
bool DeleteFile(std::string_view path);
// Renames a file or folder; fails when `to` exists.
bool MoveFile(std::string_view from, std::string_view to);
// Renames `from` over `to` in one atomic step and makes the rename durable:
// afterwards `to` holds either its old content or all of `from`, whatever
// happens to the process. Fails when `to` is read-only or a folder.
bool ReplaceFile(std::string_view from, std::string_view to);
// Copies content and attributes; overwrites a writable `to` unless
// failIfExists.
bool CopyFile(std::string_view from, std::string_view to, bool failIfExists);

// Makes the new names in the folders durable together, after a writer of
// many files has placed them (NewFile::Place). On Linux a flush is one per
// file system, not one per folder.
bool FlushFolders(const std::vector<std::string>& folders);
// ReplaceFile and NewFile::Place on Linux give the new file the owner and group
// (when the process may: root), permission bits and access-list entries of
// the file it replaces (a new file keeps what its folder gives every created
// file), on Windows its owner, group and access list (the owner only for an
// administrator); a planted hard link (Linux) gives nothing.

// Holds a folder open while the object lives, so that paths of the entries
// in it (its path as given to the constructor, a delimiter, one name) are
// reached from it instead of being resolved again from their root: walks
// and batches over large or deep trees cost time in proportion to their
// size. The folder is reached as any path is (below an anchored root, no
// link on the way) and its entries then as from any folder: a link among
// them is still one. Held, the folder stays the one first reached even if
// it is moved meanwhile, as an open folder does for the files opened in it.
// Does nothing on Windows, and for a folder holding an anchored root below
// it.
class HeldFolder {
 public:
  HeldFolder() = default;
  explicit HeldFolder(std::string_view folder);
  ~HeldFolder();
  HeldFolder(HeldFolder&& other) noexcept = default;
  HeldFolder& operator=(HeldFolder&& other) noexcept;
  HeldFolder(const HeldFolder&) = delete;
  HeldFolder& operator=(const HeldFolder&) = delete;
  // Whether the folder is held (never on Windows).
  bool Valid() const { return state_ != nullptr; }

 private:
  void Release();
  std::shared_ptr<const void> state_;
};

class NewFile;
// Makes the content of new files durable together: on Linux one flush per
// file system, however many files.
bool FlushNewFiles(const std::vector<NewFile*>& files);
// How many new files a writer may keep open at once while they wait to be
// placed. On Linux a quarter of the limit of open files, which is first
// raised toward what the administrator allows.
size_t NewFilesAtOnce();

// The bytes the running user may still write on the volume of the folder
// `path` (GetDiskFreeSpaceEx's first answer); false with LastError() set.
bool GetDiskFreeSpace(std::string_view path, uint64_t* available);
// The temporary folder ($TMPDIR on Linux), with a trailing delimiter.
std::string GetTempPath();
// Creates a new, empty, uniquely named file "<prefix><hex>.TMP" in folder,
// atomically (no other process can receive the same name); "" on failure.
std::string GetTempFileName(std::string_view folder, std::string_view prefix);
// The absolute form of a path ("." and ".." resolved, symbolic links not).
std::string GetFullPathName(std::string_view path);
// The full path of the running executable.
std::string GetModuleFileName();

// One entry of a folder listing.
struct FindData {
  std::string name;
  uint32_t attributes = 0;
  uint64_t size = 0;
};

// The platform's listing (FindFirstFile/FindNextFile): the entries of the
// mask's folder whose names match the mask's last part, in a stable order.
// Next() returns false at the end; Error() then tells why: kErrorNoMoreFiles
// after the last entry, kErrorFileNotFound when nothing matched,
// kErrorPathNotFound when the folder is missing.
class DirListing {
 public:
  explicit DirListing(std::string_view mask);
  bool Next(FindData* entry);
  uint32_t Error() const { return error_; }

 private:
  std::vector<FindData> entries_;
  size_t next_ = 0;
  uint32_t error_ = 0;
};

// The wildcard rules of the platform's listing: case-insensitive, "*" and "?",
// "*.*" matches every name, a mask ending in ".*" also matches names without
// an extension.
bool MatchesListingMask(std::string_view name, std::string_view mask);

enum : uint32_t { kGenericRead = 0x80000000, kGenericWrite = 0x40000000 };
enum : uint32_t { kShareRead = 1, kShareWrite = 2, kShareDelete = 4 };
enum : uint32_t {
  kCreateNew = 1,
  kCreateAlways = 2,
  kOpenExisting = 3,
  kOpenAlways = 4,
  kTruncateExisting = 5,
};
enum SeekOrigin : int { kSeekBegin = 0, kSeekCurrent = 1, kSeekEnd = 2 };

// An open file (CreateFileA and the handle calls). Move-only; closed by its
// destructor.
class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle();
  FileHandle(FileHandle&& other) noexcept;
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  // Opens or creates a file with Windows access, share and disposition
  // values. A conflict with another opener's share mode fails with
  // kErrorSharingViolation. An invalid handle on failure.
  static FileHandle Open(std::string_view path, uint32_t access, uint32_t share,
                         uint32_t disposition);
  // Takes over a descriptor (Windows: a HANDLE) that a platform twin above
  // the layer opened itself.
  static FileHandle Adopt(intptr_t handle) { return FileHandle(handle); }

  bool Valid() const { return fd_ >= 0; }
  void Close();

  // Sequential access at the handle's position. Read reports fewer bytes at
  // the end of the file; Write writes everything or fails.
  bool Read(void* buffer, size_t count, size_t* done);
  bool Write(const void* buffer, size_t count);
  bool Seek(int64_t offset, SeekOrigin origin, int64_t* position);
  // Ends the file at the current position (SetEndOfFile).
  bool SetEndOfFile();

  // Positioned access, independent of the handle's position.
  bool ReadAt(uint64_t offset, void* buffer, size_t count, size_t* done);
  bool WriteAt(uint64_t offset, const void* buffer, size_t count);
  bool Resize(uint64_t size);
  int64_t Size();  // -1 on failure
  // Makes everything written so far durable.
  bool Flush();
  // Starts writing what was written so far to the disk without waiting for
  // it, so that a later flush of many files together finds most of it done
  // (Linux; elsewhere it does nothing).
  void StartFlush();

 private:
  friend class NewFile;
  explicit FileHandle(intptr_t handle) : fd_(handle) {}
  // A file descriptor on Linux, a HANDLE on Windows; -1 when closed.
  intptr_t fd_ = -1;
};

// A new file that takes its name only once it is complete, for writers of
// many files: no one ever sees it half-written under that name, and a
// process killed before leaves nothing behind where the platform allows it.
// On Linux it has no name until then (an unnamed file of the folder's file
// system); elsewhere, and where the file system has no unnamed files, it is
// a temporary file in the folder, deleted with the object unless placed.
class NewFile {
 public:
  NewFile() = default;
  ~NewFile();
  NewFile(NewFile&& other) noexcept
      : handle_(std::move(other.handle_)),
        temp_(std::exchange(other.temp_, {})),
        folder_(std::move(other.folder_)) {}
  NewFile& operator=(NewFile&& other) noexcept;
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  // A new empty file in the folder, open for reading and writing; invalid
  // on failure.
  static NewFile Create(std::string_view folder);
  bool Valid() const { return handle_.Valid(); }
  FileHandle& Handle() { return handle_; }
  // Gives the complete file the name `target` (on the same volume) in one
  // atomic step, over a file of that name as ReplaceFile does (which fails
  // when it is read-only or a folder), not yet durably: FlushNewFiles
  // before, FlushFolders after. The file is closed once placed; a placing
  // that failed may be tried again.
  bool Place(std::string_view target);

 private:
  friend bool FlushNewFiles(const std::vector<NewFile*>& files);
  void Discard();
  FileHandle handle_;
  std::string temp_;  // its temporary name, where it has one
  std::shared_ptr<const void> folder_;
};

}  // namespace slv2::fs
