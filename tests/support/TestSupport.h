// Fixtures shared by the test programs: real temporary folders and plain file
// helpers that do not go through the code under test.
#pragma once

#include <string>
#include <string_view>

namespace slv2::test {

// Program text (Windows-1251) from the UTF-8 of a source file literal.
std::string A(std::string_view utf8);

// A fresh folder under $TMPDIR, removed with everything in it (read-only
// entries included) when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder as a program string, without a trailing delimiter.
  const std::string& Path() const { return path_; }
  // Path() + "/" + relative.
  std::string operator/(std::string_view relative) const;

 private:
  std::string path_;
};

// A fresh, empty registry for the object's life: SLV2_REGISTRY names a
// database in a temporary folder (the registry layer opens it on its next
// call); the previous setting comes back when the object goes.
class TempRegistry {
 public:
  TempRegistry();
  ~TempRegistry();
  TempRegistry(const TempRegistry&) = delete;
  TempRegistry& operator=(const TempRegistry&) = delete;

  // The database file (native path).
  const std::string& DatabasePath() const { return database_; }

 private:
  TempDir dir_;
  std::string database_;
  std::string previous_;
  bool hadPrevious_ = false;
};

// Whole-file helpers on program-string paths (no case resolution); missing
// folders are created by WriteFile. ReadFile fails the test when the file is
// missing.
void WriteFile(const std::string& path, std::string_view content);
std::string ReadFile(const std::string& path);
bool PathExists(const std::string& path);
void MakeReadOnly(const std::string& path, bool readOnly = true);

// The folder holding the built programs (slv2pack, regedit, slv2update).
std::string BinDir();
// A file below the source tree's tests/data.
std::string TestDataPath(std::string_view relative);

}  // namespace slv2::test
