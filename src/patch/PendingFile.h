// A file that appears under its name only when it is complete: it is written
// as a temporary file in the destination's folder and renamed over the
// destination by Commit(); without Commit() the temporary file is removed and
// the destination stays as it was.
#pragma once

#include <string>

namespace slv2 {

class TPendingFile {
 public:
  // Creates the temporary file; raises EDiffUtil when that fails.
  explicit TPendingFile(std::string destination);
  ~TPendingFile();
  TPendingFile(const TPendingFile&) = delete;
  TPendingFile& operator=(const TPendingFile&) = delete;

  // The temporary file to write (closed again before Commit()).
  const std::string& Path() const { return temp_; }
  // Replaces the destination with the temporary file; raises EDiffUtil when
  // that fails.
  void Commit();

 private:
  std::string destination_, temp_;
};

}  // namespace slv2
