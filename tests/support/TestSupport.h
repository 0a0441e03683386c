// Fixtures shared by the test programs: real temporary folders and plain file
// helpers that do not go through the code under test.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sys/registry/RegApi.h"

namespace slv2::test {

// Program text (Windows-1251) from the UTF-8 of a source file literal.
std::string A(std::string_view utf8);

// A program-string path as the standard library's file system takes it.
std::filesystem::path FsPath(const std::string& path);

// A fresh folder in the temporary folder ($TMPDIR on Linux), removed with
// everything in it (read-only entries included) when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder as a program string, without a trailing delimiter.
  const std::string& Path() const { return path_; }
  // Path() joined with relative, in the platform's form: "/" on Linux; "\"
  // on Windows, where every "/" of relative becomes "\" too.
  std::string operator/(std::string_view relative) const;

 private:
  std::string path_;
};

// Reads and sets an environment variable of the process as program text,
// where the platform's own lookups see it; GetEnv is false when it is not
// set, SetEnv with nullptr removes it.
bool GetEnv(const char* name, std::string& value);
void SetEnv(const char* name, const std::string* value);
// Sets an environment variable (program text) for the object's life.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::string previous_;
  bool hadPrevious_;
};
// A fresh, empty registry for the object's life. On Linux SLV2_REGISTRY names
// a database in a temporary folder (the registry layer opens it on its next
// call); the previous setting comes back when the object goes. On Windows the
// process's predefined roots HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER,
// HKEY_CLASSES_ROOT and HKEY_USERS are redirected to fresh keys below
// HKEY_CURRENT_USER\Software\slv2-test (RegOverridePredefKey), which go with
// the object; programs started meanwhile still see the real registry.
class TempRegistry {
 public:
  TempRegistry();
  ~TempRegistry();
  TempRegistry(const TempRegistry&) = delete;
  TempRegistry& operator=(const TempRegistry&) = delete;
  // Whether programs started meanwhile (the registry editor that imports a
  // registry script) see it: on Linux, not on Windows.
  static bool ReachesPrograms();

#ifndef _WIN32
  // The database file (native path).
  const std::string& DatabasePath() const {
    return database_;
  }
#endif

 private:
#ifdef _WIN32
  std::string key_;
#else
  TempDir dir_;
  std::string database_;
  ScopedEnv variable_;
#endif
};

// A folder joined with a relative path in the platform's form, as the code
// under test joins them: "/" on Linux; "\" on Windows, where every "/" of
// relative becomes "\" too. An empty relative path leaves the delimiter.
std::string Join(const std::string& folder, std::string_view relative);
// The text with every backslash doubled, as macro values are expanded.
std::string Doubled(std::string_view text);

// Whole-file helpers on program-string paths (no case resolution); missing
// folders are created by WriteFile. ReadFile fails the test when the file is
// missing.
void WriteFile(const std::string& path, std::string_view content);
std::string ReadFile(const std::string& path);
bool PathExists(const std::string& path);
void MakeReadOnly(const std::string& path, bool readOnly = true);
// Whether a file carries the permissions the platform gives a new file of the
// user's: read and write for all less the umask on Linux, not read-only on
// Windows.
bool HasNewFilePermissions(const std::string& path);
// Whether a file is read-only: no write permission for anyone on Linux, the
// read-only attribute on Windows.
bool IsReadOnly(const std::string& path);

// The program string of a path of the standard library, with "/" delimiters.
std::string ProgramPath(const std::filesystem::path& path);

// Runs a program of the build (in BinDir(), named without ".exe"; or a copy
// of one elsewhere, named by its path without ".exe") with
// arguments given as program strings, its standard output and error going
// into the two files, in `folder` when one is given; the exit code, or -1
// when it did not end normally.
int RunProgram(const std::string& name, const std::vector<std::string>& args,
               const std::string& outFile, const std::string& errFile,
               const std::string& folder = std::string());

#ifndef _WIN32
// A link a pupil planted: made at `at` (its folders too) and, when the tests
// run as root, given to the user nobody, whose links the file layer never
// follows (those of root and of the running user it does).
void PlantPupilLink(const std::string& target, const std::string& at);
// Accounts a test run as root acts as: a teacher (daemon) and a pupil (nobody).
inline constexpr unsigned kTeacherUid = 1, kPupilUid = 65534;
// What a shell command prints; fails the test when the command fails.
std::string CommandOutput(const std::string& command);
// A folder and every entry below it (file-system names): name, kind, mode,
// owner, group, content and access lists, as find, md5sum and getfacl see them.
std::string Fingerprint(const std::string& folder);
// A pupil's process (the user nobody) exchanging each pair of entries below
// `folder` (native names, renameat2 exchange) as fast as it can, until the
// object goes.
class PupilSwapper {
 public:
  PupilSwapper(const std::string& folder,
               const std::vector<std::pair<std::string, std::string>>& pairs);
  ~PupilSwapper();
  PupilSwapper(const PupilSwapper&) = delete;
  PupilSwapper& operator=(const PupilSwapper&) = delete;
  // Returns once the pupil swapped a few more times (or after 5 s): on a
  // loaded machine he must get his turns between the administrator's.
  void WaitForTurns() const;
  // The rounds of swaps made so far.
  long Swaps() const { return swaps_->load(); }

 private:
  std::atomic<long>* swaps_;  // shared with the pupil's process
  int pid_ = -1;
};
#endif

// Starts a program as RunProgram names it, without a shell between (so that
// a signal reaches the program itself), its standard input from `inFile`
// (none when empty), in `folder` when one is given, and returns at once: its
// process id, or -1. WaitProgram reaps it: the exit code, or -1 when it did
// not end normally (killed by a signal, or by KillProgram). KillProgram ends
// it at once, as a crash or a power cut would (SIGKILL; on Windows
// TerminateJobObject, which ends what it started too).
int StartProgram(const std::string& name, const std::vector<std::string>& args,
                 const std::string& outFile, const std::string& errFile,
                 const std::string& inFile = std::string(),
                 const std::string& folder = std::string());
int WaitProgram(int pid);
void KillProgram(int pid);

#ifndef _WIN32

// A child process that runs `take` and holds what it took (a lock, a
// transaction) until the object goes.
class HeldInChild {
 public:
  explicit HeldInChild(const std::function<bool()>& take);
  ~HeldInChild();
  HeldInChild(const HeldInChild&) = delete;
  HeldInChild& operator=(const HeldInChild&) = delete;
  // Whether `take` succeeded.
  bool Holding() const { return holding_; }

 private:
  int pid_ = -1;
  int release_ = -1;
  bool holding_ = false;
};

// Another process holding a write transaction on an SQLite database (native
// path), as another program's long change would.
class DatabaseWriter : public HeldInChild {
 public:
  explicit DatabaseWriter(const std::string& database);
};

// "ok" when SQLite finds the database (native path) sound, a journal a kill
// left rolled back first as the next program would; else what it found.
std::string IntegrityCheck(const std::string& database);
#endif

// The names below a folder, relative, "/"-delimited, folders with a trailing
// "/", sorted; links are listed, not followed.
std::vector<std::string> ListTree(const std::string& folder);

// A key tree: "\\sub\\key|value" -> kind and data, "\\sub\\key" -> kind ~0.
using KeyTree = std::map<std::string, std::pair<uint32_t, std::string>>;
void SetRegValue(reg::HKey root, const std::string& key, const std::string& name, uint32_t type,
                 const std::string& data);
void SetRegString(reg::HKey root, const std::string& key, const std::string& name,
                  const std::string& text);
// Empty when the key is missing.
KeyTree DumpRegKey(reg::HKey root, const std::string& key);

// Every regular file below a folder: its path relative to the folder, "/"
// delimited, and its content.
using Tree = std::map<std::string, std::string>;
Tree TreeSnapshot(const std::string& folder);
// The paths whose content differs between two snapshots, for failure
// messages; "" when they are the same.
std::string TreeDifferences(const Tree& a, const Tree& b);

// The complete lines of a program's output (a last line without its line
// feed is left out), without their line feeds.
std::vector<std::string> SplitLines(const std::string& out);

// Program text from what the build's programs write on the terminal (UTF-8
// on Linux, the ANSI code page itself on Windows).
std::string FromTerminalText(std::string_view text);

// The variable the platform's temporary folder comes from: TMPDIR on Linux,
// TMP on Windows.
const char* TempFolderVariable();

// Gives the shell's key (below HKEY_LOCAL_MACHINE) the "group" value of a
// complete installation, naming the common program group already, so that
// the shell's finishing steps find nothing to move. On Linux the common
// group lies below $XDG_DATA_HOME: tests set it to a folder of their own.
void InstallCommonGroup(const std::string& shellKey);

// The version of Wine when the tests run under it, else "". Tests that meet a
// difference between Wine and Windows skip with SLV2_SKIP_ON_WINE.
std::string WineVersion();
#define SLV2_SKIP_ON_WINE(limitation)                            \
  do {                                                           \
    if (!::slv2::test::WineVersion().empty()) {                  \
      GTEST_SKIP() << "Wine " << ::slv2::test::WineVersion()     \
                   << " differs from Windows: " << (limitation); \
    }                                                            \
  } while (false)

// The folder holding the built programs (slv2pack, regedit, slv2update).
std::string BinDir();
// A file below the source tree's tests/data.
std::string TestDataPath(std::string_view relative);

}  // namespace slv2::test
