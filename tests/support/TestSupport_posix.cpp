// The Linux side of the test fixtures: POSIX folders, permissions and the
// SQLite registry's environment variable.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "TestSupport.h"
#include "sys/Cp1251.h"

namespace slv2::test {
namespace stdfs = std::filesystem;

stdfs::path FsPath(const std::string& path) {
  return stdfs::path(AnsiToUtf8(path));
}

void WriteFile(const std::string& path, std::string_view content) {
  stdfs::path native = FsPath(path);
  if (native.has_parent_path()) stdfs::create_directories(native.parent_path());
  std::ofstream out(native, std::ios::binary | std::ios::trunc);
  ASSERT_TRUE(out.good()) << "cannot write " << AnsiToUtf8(path);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << AnsiToUtf8(path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return stdfs::symlink_status(FsPath(path), ec).type() != stdfs::file_type::not_found;
}

std::string ProgramPath(const stdfs::path& path) {
  return Utf8ToAnsi(path.generic_string());
}

int StartProgram(const std::string& name, const std::vector<std::string>& args,
                 const std::string& outFile, const std::string& errFile, const std::string& inFile,
                 const std::string& folder) {
  // Everything the child needs is made before the fork: after it, only
  // calls that are safe in a copy of a threaded process are allowed.
  bool path = name.find('/') != std::string::npos;
  std::vector<std::string> argv{AnsiToUtf8(path ? name : BinDir() + "/" + name)};
  for (const std::string& a : args)
    argv.push_back(AnsiToUtf8(a));
  std::vector<char*> pointers;
  for (std::string& a : argv)
    pointers.push_back(a.data());
  pointers.push_back(nullptr);
  std::string out = AnsiToUtf8(outFile), err = AnsiToUtf8(errFile), cd = AnsiToUtf8(folder);
  std::string in = inFile.empty() ? "/dev/null" : AnsiToUtf8(inFile);
  pid_t pid = ::fork();
  if (pid != 0) return pid < 0 ? -1 : static_cast<int>(pid);
  int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  int inFd = ::open(in.c_str(), O_RDONLY);
  if (outFd < 0 || errFd < 0 || inFd < 0 || ::dup2(inFd, 0) < 0 || ::dup2(outFd, 1) < 0 ||
      ::dup2(errFd, 2) < 0 || (!cd.empty() && ::chdir(cd.c_str()) != 0)) {
    ::_exit(127);
  }
  ::execv(pointers[0], pointers.data());
  ::_exit(127);
}

HeldInChild::HeldInChild(const std::function<bool()>& take) {
  int ready[2], release[2];
  if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(release, O_CLOEXEC) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::close(ready[0]);
    ::close(release[1]);
    char held = '0';
    try {
      held = take() ? '1' : '0';
    } catch (...) {
    }
    (void)!::write(ready[1], &held, 1);
    (void)!::read(release[0], &held, 1);  // until the end of the pipe
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  char held = '0';
  holding_ = pid_ > 0 && ::read(ready[0], &held, 1) == 1 && held == '1';
  ::close(ready[0]);
  release_ = release[1];
}

HeldInChild::~HeldInChild() {
  if (release_ >= 0) ::close(release_);
  if (pid_ > 0) WaitProgram(pid_);
}

DatabaseWriter::DatabaseWriter(const std::string& database)
    : HeldInChild([&database] {
        sqlite3* db = nullptr;
        return sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
                   SQLITE_OK &&
               sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
      }) {}

std::string IntegrityCheck(const std::string& database) {
  sqlite3* db = nullptr;
  std::string result;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    result = "cannot open";
  } else {
    // A registry editor a killed program had started may still be importing:
    // its lock is waited for, as the next program would.
    sqlite3_busy_timeout(db, 10000);
    auto append = [](void* out, int, char** values, char**) {
      *static_cast<std::string*>(out) += values[0] ? values[0] : "";
      return 0;
    };
    if (sqlite3_exec(db, "PRAGMA integrity_check", append, &result, nullptr) != SQLITE_OK)
      result = sqlite3_errmsg(db);
  }
  sqlite3_close(db);
  return result;
}

void PlantPupilLink(const std::string& target, const std::string& at) {
  stdfs::create_directories(FsPath(at).parent_path());
  stdfs::create_symlink(FsPath(target), FsPath(at));
  if (::geteuid() == 0) {
    ASSERT_EQ(::lchown(FsPath(at).c_str(), kPupilUid, kPupilUid), 0);
  }
}

std::string CommandOutput(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string out;
  char buffer[4096];
  while (size_t got = pipe ? std::fread(buffer, 1, sizeof buffer, pipe) : 0)
    out.append(buffer, got);
  EXPECT_TRUE(pipe && ::pclose(pipe) == 0) << command;
  return out;
}

std::string Fingerprint(const std::string& folder) {
  return CommandOutput("cd '" + folder +
                       "' && find . -printf '%p %M %U %G\\n' -type f -exec md5sum {} + | sort"
                       " && getfacl -R .");
}

PupilSwapper::PupilSwapper(const std::string& folder,
                           const std::vector<std::pair<std::string, std::string>>& pairs) {
  void* shared = ::mmap(nullptr, sizeof(std::atomic<long>), PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared == MAP_FAILED) throw std::runtime_error("no memory shared with the pupil");
  swaps_ = new (shared) std::atomic<long>(0);
  std::fflush(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kPupilUid) != 0 || ::setuid(kPupilUid) != 0)
      _exit(1);
    int at = ::open(folder.c_str(), O_PATH | O_DIRECTORY);
    for (;;) {
      for (const auto& [a, b] : pairs)
        ::renameat2(at, a.c_str(), at, b.c_str(), RENAME_EXCHANGE);
      ++*swaps_;
    }
  }
  EXPECT_GT(pid_, 0);
}

PupilSwapper::~PupilSwapper() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  ::munmap(swaps_, sizeof(std::atomic<long>));
}

void PupilSwapper::WaitForTurns() const {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (long seen = Swaps(); Swaps() < seen + 3 && std::chrono::steady_clock::now() < until;)
    ::sched_yield();
}

void KillProgram(int pid) {
  ::kill(pid, SIGKILL);
}

int WaitProgram(int pid) {
  int raw = 0;
  while (::waitpid(pid, &raw, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string FromTerminalText(std::string_view text) {
  return Utf8ToAnsi(text);
}

bool HasNewFilePermissions(const std::string& path) {
  struct stat st {};
  if (::stat(AnsiToUtf8(path).c_str(), &st) != 0) return false;
  mode_t mask = ::umask(0);
  ::umask(mask);
  return (st.st_mode & 07777) == (0666 & ~mask);
}

bool IsReadOnly(const std::string& path) {
  struct stat st {};
  return ::stat(AnsiToUtf8(path).c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
}

void SetEnv(const char* name, const std::string* value) {
  if (value) {
    ::setenv(name, AnsiToUtf8(*value).c_str(), 1);
  } else {
    ::unsetenv(name);
  }
}

const char* TempFolderVariable() {
  return "TMPDIR";
}

std::string Join(const std::string& folder, std::string_view relative) {
  return folder + "/" + std::string(relative);
}

std::string WineVersion() {
  return std::string();
}

TempDir::TempDir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/slv2-test-XXXXXX";
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = Utf8ToAnsi(pattern);
}

TempDir::~TempDir() {
  std::error_code ec;
  stdfs::path root = FsPath(path_);
  // Read-only folders would keep their entries; give every folder back its
  // owner's rights first.
  for (auto it = stdfs::recursive_directory_iterator(root, ec);
       !ec && it != stdfs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      stdfs::permissions(it->path(), stdfs::perms::owner_all, stdfs::perm_options::add, ec);
    }
  }
  stdfs::remove_all(root, ec);
}

TempRegistry::TempRegistry()
    : database_(AnsiToUtf8(dir_ / "registry.db")),
      variable_("SLV2_REGISTRY", dir_ / "registry.db") {}

TempRegistry::~TempRegistry() = default;

bool TempRegistry::ReachesPrograms() {
  return true;
}

void MakeReadOnly(const std::string& path, bool readOnly) {
  auto write = stdfs::perms::owner_write | stdfs::perms::group_write | stdfs::perms::others_write;
  stdfs::permissions(FsPath(path), readOnly ? write : stdfs::perms::owner_write,
                     readOnly ? stdfs::perm_options::remove : stdfs::perm_options::add);
}

}  // namespace slv2::test
