// A new folder of the program's own in the system temporary folder, removed
// with everything in it when the object goes.
#pragma once

#include <string>

namespace slv2::publish {

class TScratchFolder {
 public:
  // Raises EPublishError when no folder can be made.
  TScratchFolder();
  ~TScratchFolder();
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;

  // Without a trailing delimiter.
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace slv2::publish
