#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sys/Cp1251.h"

namespace slv2::test {
namespace stdfs = std::filesystem;

namespace {
stdfs::path Native(const std::string& ansi) { return stdfs::path(AnsiToUtf8(ansi)); }
}  // namespace

std::string A(std::string_view utf8) { return Utf8ToAnsi(utf8); }

TempDir::TempDir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/slv2-test-XXXXXX";
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = Utf8ToAnsi(pattern);
}

TempDir::~TempDir() {
  std::error_code ec;
  stdfs::path root = Native(path_);
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

TempRegistry::TempRegistry() : database_(AnsiToUtf8(dir_ / "registry.db")) {
  if (const char* previous = std::getenv("SLV2_REGISTRY")) {
    hadPrevious_ = true;
    previous_ = previous;
  }
  ::setenv("SLV2_REGISTRY", database_.c_str(), 1);
}

TempRegistry::~TempRegistry() {
  if (hadPrevious_) {
    ::setenv("SLV2_REGISTRY", previous_.c_str(), 1);
  } else {
    ::unsetenv("SLV2_REGISTRY");
  }
}

std::string TempDir::operator/(std::string_view relative) const {
  return path_ + "/" + std::string(relative);
}

void WriteFile(const std::string& path, std::string_view content) {
  stdfs::path native = Native(path);
  if (native.has_parent_path()) stdfs::create_directories(native.parent_path());
  std::ofstream out(native, std::ios::binary | std::ios::trunc);
  ASSERT_TRUE(out.good()) << "cannot write " << native;
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(Native(path), std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << AnsiToUtf8(path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return stdfs::symlink_status(Native(path), ec).type() != stdfs::file_type::not_found;
}

void MakeReadOnly(const std::string& path, bool readOnly) {
  auto write = stdfs::perms::owner_write | stdfs::perms::group_write | stdfs::perms::others_write;
  stdfs::permissions(Native(path), readOnly ? write : stdfs::perms::owner_write,
                     readOnly ? stdfs::perm_options::remove : stdfs::perm_options::add);
}

std::string BinDir() { return SLV2_BIN_DIR; }

std::string TestDataPath(std::string_view relative) {
  return std::string(SLV2_SOURCE_DIR) + "/tests/data/" + std::string(relative);
}

}  // namespace slv2::test
