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
  // Replaces the destination with the temporary file, durably: afterwards
  // it holds the old content or all of the new, whatever happens to the
  // machine. Raises EDiffUtil when that fails.
  void Commit();
  // The same, except that a destination that does not exist yet is only
  // renamed into place, as the common tools do: after a crash it may then
  // be short, but never is an existing file lost.
  void CommitQuickly();

 private:
  std::string destination_, temp_;
};

}  // namespace slv2
