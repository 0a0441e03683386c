#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "sys/Cp1251.h"

namespace slv2::test {
namespace stdfs = std::filesystem;

std::string A(std::string_view utf8) {
  return Utf8ToAnsi(utf8);
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

std::string BinDir() {
  return SLV2_BIN_DIR;
}

std::string TestDataPath(std::string_view relative) {
  return std::string(SLV2_SOURCE_DIR) + "/tests/data/" + std::string(relative);
}

}  // namespace slv2::test
